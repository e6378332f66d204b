#include "detection/motiondetector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

// FNV-1a over everything a run gives and keeps, so that two ways of running the comparison
// can be told apart by one number.
struct RunDigest {
    std::uint64_t value = 1469598103934665603ull;
    void add(const void* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            value ^= static_cast<const unsigned char*>(data)[i];
            value *= 1099511628211ull;
        }
    }
    void add(const DetectionState& state, const ComparisonResult& result) {
        for (const BlockPosition& block : result.changedBlocks) {
            add(&block.column, sizeof block.column);
            add(&block.row, sizeof block.row);
        }
        add(&result.changePercent, sizeof result.changePercent);
        add(&result.triggered, sizeof result.triggered);
        add(state.blockReference.data(), sizeof state.blockReference);
    }
};

// A scene that mostly holds still, with pictures repeated as the timer finds them again, parts
// that move, the light that changes and hold-offs now and then.
std::uint64_t digestOfScene(const ComparisonOptions& options, int sensitivity, int trigger) {
    std::mt19937 random(20261209);
    DetectionState state;
    ComparisonResult result;
    RunDigest digest;
    BlockGrid averages{};
    for (auto& block : averages)
        block = {int(random() % 256), int(random() % 256), int(random() % 256)};
    for (int run = 0; run < 3000; ++run) {
        switch (random() % 8) {
            case 0: {  // something moves
                const int first = int(random() % kBlockCount);
                const int count = int(random() % 500);
                for (int i = first; i < std::min(kBlockCount, first + count); ++i)
                    averages[i].green = int(random() % 256);
                break;
            }
            case 1: {  // the light goes down or up
                const bool down = random() % 2;
                for (auto& block : averages) {
                    for (int* level : {&block.blue, &block.green, &block.red})
                        *level = down ? *level * 3 / 4 : std::min(255, *level * 4 / 3);
                }
                break;
            }
            case 2:
                state.holdOffFrames = int(random() % 3);
                break;
            default:  // the same picture again
                break;
        }
        compareWithReference(state, averages, sensitivity, trigger, result, options);
        digest.add(state, result);
    }
    return digest.value;
}

ComparisonOptions leftHalfIgnored() {
    ComparisonOptions options;
    for (int row = 0; row < kBlockRows; ++row)
        for (int column = 0; column < kBlockColumns / 2; ++column)
            options.ignored.set(blockIndex(column, row));
    return options;
}

}  // namespace

// The comparison with the previous run gives what it always gave, bit for bit: the digests
// were taken of the program before the background reference came.
TEST(PreviousRunReference, GivesBitForBitWhatItAlwaysGave) {
    EXPECT_EQ(digestOfScene({}, 50, 25), 14633233829792785340u);
    EXPECT_EQ(digestOfScene({}, 1, 1), 15181478360760701989u);
    EXPECT_EQ(digestOfScene(leftHalfIgnored(), 120, 10), 12644470795883090008u);
    ComparisonOptions light;
    light.lightCompensation = true;
    EXPECT_EQ(digestOfScene(light, 50, 25), 6397642604324202536u);
}
