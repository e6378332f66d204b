#pragma once

#include <bitset>
#include <string>
#include <string_view>

#include "detection/workframe.h"

// Blocks that the detection ignores, one bit each, indexed by blockIndex.
using BlockMask = std::bitset<kBlockCount>;

inline constexpr std::size_t kMaskTextLength = kBlockCount / 4;

// The stored form of a mask: 300 hexadecimal digits, block row 29 (the top) first and each row
// left to right as the camera sees the scene (not mirrored), four blocks a digit with the most
// significant bit first, 1 = ignored. Empty or malformed text is no mask.
BlockMask maskFromText(std::string_view text);
// Empty when no block is ignored.
std::string maskText(const BlockMask& mask);

// The stored mask in the working frame's orientation: with mirroring on, column c of the
// working frame shows the camera's column 39 - c, so the mask stays on the same part of the scene.
BlockMask maskInWorkFrame(const BlockMask& cameraMask, bool mirrored);
