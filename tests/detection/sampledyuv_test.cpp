#include "detection/sampledyuv.h"

#include <gtest/gtest.h>

#include "detection/workframe_sampling.h"

namespace {

// Every position is taken by exactly one load of its group, from the right byte, and no load
// reads outside the row.
void expectGathers(const std::array<std::int32_t, kWorkWidth>& positions, int rowBytes) {
    const ByteGather gather = planByteGather(positions, rowBytes);
    ASSERT_EQ(gather.first.back(), static_cast<int>(gather.loads.size()));
    for (int g = 0; g < kWorkWidth / 16; ++g) {
        ASSERT_LT(gather.first[g], gather.first[g + 1]) << "group " << g << " has no load";
        for (int k = gather.first[g]; k < gather.first[g + 1]; ++k) {
            ASSERT_GE(gather.loads[k].offset, 0);
            ASSERT_LE(gather.loads[k].offset + 16, rowBytes) << "group " << g;
        }
        for (int i = 0; i < 16; ++i) {
            int takers = 0;
            for (int k = gather.first[g]; k < gather.first[g + 1]; ++k) {
                const ByteGather::Load& load = gather.loads[k];
                if (load.shuffle[i] & 0x80)
                    continue;
                ++takers;
                EXPECT_EQ(load.offset + load.shuffle[i], positions[g * 16 + i])
                    << "working pixel " << g * 16 + i;
            }
            EXPECT_EQ(takers, 1) << "working pixel " << g * 16 + i;
        }
    }
}

class ByteGatherWidths : public testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(ByteGatherWidths, TakesEverySampledByteOnceFromWithinTheRow) {
    const auto& [width, mirror] = GetParam();
    const std::array<std::int32_t, kWorkWidth> columns = sourceColumns(width, mirror);
    expectGathers(columns, width);
    std::array<std::int32_t, kWorkWidth> chromaColumns;
    for (int x = 0; x < kWorkWidth; ++x)
        chromaColumns[x] = columns[x] / 2;
    expectGathers(chromaColumns, (width + 1) / 2);
}

// From the narrowest the gathers take to cameras wider than 4K; odd widths end the chroma rows
// in the middle of a square.
INSTANTIATE_TEST_SUITE_P(CameraWidths, ByteGatherWidths,
                         testing::Combine(testing::Values(kSampledYuvMinimumWidth, 33, 160, 333,
                                                          640, 642, 1000, 1280, 1920, 2592, 4096,
                                                          5001),
                                          testing::Bool()));

}  // namespace
