#pragma once

#include <cstdint>
#include <string>

#include "detection/datetemplate.h"

// The file of a clip on the disk, from its name to its end: no GStreamer here, so what becomes
// of a clip's file is tested headless.

// `stem` ("Video_Sentello_", see clipStem) and the date as yyyymmddhhiiss, with ".avi", in
// `folder` (ending in "/"), made there as a new, empty file that only the user may read. When
// something stands at that name already (the clock was set back), "_2", "_3", ... go before
// ".avi".
std::string newClipPath(const std::string& folder, const std::string& stem, const DateFields& now);

// A clip needs room: with less free than this in its folder none starts, so that the disk never
// fills to its last byte.
inline constexpr std::uint64_t kMinFreeClipBytes = std::uint64_t{200} << 20;

// False only when the folder of the clip at `path` is known to have less than `neededBytes`
// free.
bool roomForClip(const std::string& path, std::uint64_t neededBytes = kMinFreeClipBytes);

// A clip that failed is no clip: its remains go, unless the path names something that is not
// a plain file of ours.
void removeFailedClip(const std::string& path);

// A finished clip is on the disk before anyone is told about it.
void syncClip(const std::string& path);
