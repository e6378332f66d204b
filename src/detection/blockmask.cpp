#include "detection/blockmask.h"

#include <cctype>

namespace {

// Position in the stored order of the block at column c, row r (rows counted from the bottom).
std::size_t storedPosition(int column, int row) {
    const int position = (kBlockRows - 1 - row) * kBlockColumns + column;
    return static_cast<std::size_t>(position);
}

int digitValue(char digit) {
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
    if (lower >= 'a' && lower <= 'f')
        return lower - 'a' + 10;
    return -1;
}

}  // namespace

BlockMask maskFromText(std::string_view text) {
    BlockMask mask;
    if (text.size() != kMaskTextLength)
        return mask;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int value = digitValue(text[i]);
        if (value < 0)
            return {};
        for (int bit = 0; bit < 4; ++bit) {
            const std::size_t position = i * 4 + static_cast<std::size_t>(bit);
            const int column = static_cast<int>(position % kBlockColumns);
            const int row = kBlockRows - 1 - static_cast<int>(position / kBlockColumns);
            mask[blockIndex(column, row)] = (value >> (3 - bit)) & 1;
        }
    }
    return mask;
}

std::string maskText(const BlockMask& mask) {
    if (mask.none())
        return {};
    std::string text(kMaskTextLength, '0');
    for (int column = 0; column < kBlockColumns; ++column) {
        for (int row = 0; row < kBlockRows; ++row) {
            if (!mask[blockIndex(column, row)])
                continue;
            const std::size_t position = storedPosition(column, row);
            const int value = digitValue(text[position / 4]) | (8 >> (position % 4));
            text[position / 4] = "0123456789ABCDEF"[value];
        }
    }
    return text;
}

BlockMask maskInWorkFrame(const BlockMask& cameraMask, bool mirrored) {
    if (!mirrored || cameraMask.none())
        return cameraMask;
    BlockMask mask;
    for (int column = 0; column < kBlockColumns; ++column) {
        for (int row = 0; row < kBlockRows; ++row) {
            mask[blockIndex(column, row)] = cameraMask[blockIndex(kBlockColumns - 1 - column, row)];
        }
    }
    return mask;
}
