#include "detection/sampledyuv.h"

#include <algorithm>

ByteGather planByteGather(const std::array<std::int32_t, kWorkWidth>& positions, int rowBytes) {
    constexpr int kGroup = 16;
    ByteGather gather;
    gather.loads.reserve(kWorkWidth / kGroup * 2);
    for (int g = 0; g < kWorkWidth / kGroup; ++g) {
        gather.first[g] = static_cast<int>(gather.loads.size());
        const auto begin = positions.begin() + g * kGroup;
        const auto [lowest, highest] = std::minmax_element(begin, begin + kGroup);
        // Loads follow each other from the lowest position on; one that would end beyond the
        // row ends at its end instead and is the last, as it reaches every position left.
        const int lastStart = rowBytes - kGroup;
        int loads = 0;
        for (int start = *lowest;; start += kGroup) {
            ByteGather::Load load;
            load.offset = std::min(start, lastStart);
            load.shuffle.fill(0x80);
            gather.loads.push_back(load);
            ++loads;
            if (start >= lastStart || start + kGroup > *highest)
                break;
        }
        ByteGather::Load* groupLoads = gather.loads.data() + gather.first[g];
        for (int i = 0; i < kGroup; ++i) {
            const int k = std::min((begin[i] - *lowest) / kGroup, loads - 1);
            groupLoads[k].shuffle[i] = static_cast<std::uint8_t>(begin[i] - groupLoads[k].offset);
        }
    }
    gather.first.back() = static_cast<int>(gather.loads.size());
    return gather;
}

SampledYuvPlan planSampledYuv(const std::array<std::int32_t, kWorkWidth>& columns, int width,
                              YuvColours colours) {
    std::array<std::int32_t, kWorkWidth> chromaColumns;
    std::transform(columns.begin(), columns.end(), chromaColumns.begin(),
                   [](std::int32_t column) { return column / 2; });
    return {planByteGather(columns, width), planByteGather(chromaColumns, (width + 1) / 2),
            yuvCoefficients(colours)};
}
