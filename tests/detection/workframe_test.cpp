#include "detection/workframe.h"

#include <gtest/gtest.h>

#include <tuple>

#include "referencedetection.h"

namespace {

using Variant = void (*)(const FrameView&, bool, int, WorkFrame&);

struct Size {
    int width;
    int height;
    int padding;  // bytes after each row, as cameras with aligned rows deliver
};

void expectSameAsReference(Variant variant, const Size& size, bool mirror, int brightness) {
    const Picture picture =
        randomPicture(size.width, size.height, size.width * 7 + brightness, size.padding);
    WorkFrame made;
    variant(picture.view(), mirror, brightness, made);
    const WorkFrame expected = referenceWorkFrame(picture, mirror, brightness);
    ASSERT_EQ(made.bytesPerPixel, 4);
    ASSERT_TRUE(made.halfSize == expected.halfSize) << "half-size copy differs";
    ASSERT_TRUE(made.averages == expected.averages) << "block averages differ";
}

class WorkFrameVariants : public testing::TestWithParam<std::tuple<Size, bool, int>> {};

TEST_P(WorkFrameVariants, PortableMatchesReference) {
    const auto& [size, mirror, brightness] = GetParam();
    expectSameAsReference(makeWorkFramePortable, size, mirror, brightness);
}

TEST_P(WorkFrameVariants, Avx2MatchesReference) {
    if (!cpuHasAvx2())
        GTEST_SKIP() << "processor without AVX2";
    const auto& [size, mirror, brightness] = GetParam();
    expectSameAsReference(makeWorkFrameAvx2, size, mirror, brightness);
}

INSTANTIATE_TEST_SUITE_P(SizesMirrorBrightness, WorkFrameVariants,
                         testing::Combine(testing::Values(Size{640, 480, 0}, Size{320, 240, 0},
                                                          Size{1280, 720, 0}, Size{1920, 1080, 0},
                                                          Size{176, 144, 16}, Size{333, 251, 4},
                                                          Size{1, 1, 0}),
                                          testing::Bool(), testing::Values(0, 37, 128, 200, 255)));

Picture uniformPicture(int width, int height, std::uint8_t value, std::uint8_t fourth) {
    Picture picture(width, height);
    for (std::size_t i = 0; i < picture.pixels.size(); i += 4) {
        picture.pixels[i] = picture.pixels[i + 1] = picture.pixels[i + 2] = value;
        picture.pixels[i + 3] = fourth;
    }
    return picture;
}

TEST(Brightness, ClampsAtBothEndsAndLeavesTheFourthByte) {
    struct Case {
        std::uint8_t value;
        int brightness;
        std::uint8_t expected;
    };
    for (const Case& c : {Case{100, 0, 0}, Case{200, 255, 255}, Case{77, 128, 77},
                          Case{100, 100, 72}, Case{100, 150, 122}}) {
        WorkFrame frame;
        makeWorkFrame(uniformPicture(64, 48, c.value, 42).view(), false, c.brightness, frame);
        EXPECT_EQ(frame.halfSize[0], c.expected) << int(c.value) << " with " << c.brightness;
        EXPECT_EQ(frame.halfSize[2], c.expected);
        EXPECT_EQ(frame.halfSize[3], 42);
        EXPECT_EQ(frame.averages[0].red, c.expected);
    }
}

// A picture whose colour depends only on the place in the picture, at any size.
Picture scene(int width, int height) {
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.at(x, y);
            p[0] = static_cast<std::uint8_t>(x * 40 / width * 6);
            p[1] = static_cast<std::uint8_t>(y * 30 / height * 8);
            p[2] = static_cast<std::uint8_t>((x * 40 / width + y * 30 / height) % 2 * 200);
        }
    }
    return picture;
}

TEST(Stretch, SmallAndLargeCamerasGiveTheSameBlockGrid) {
    WorkFrame small;
    WorkFrame large;
    makeWorkFrame(scene(320, 240).view(), false, 128, small);
    makeWorkFrame(scene(1280, 720).view(), false, 128, large);
    EXPECT_TRUE(small.averages == large.averages);
}

TEST(Stretch, BlockRowZeroIsTheBottomOfThePictureAndMirroringSwapsSides) {
    // Red in the top-left quarter only.
    Picture picture(320, 240);
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x)
            picture.at(x, y)[2] = 255;
    }
    WorkFrame frame;
    makeWorkFrame(picture.view(), false, 128, frame);
    EXPECT_EQ(frame.averages[blockIndex(0, kBlockRows - 1)].red, 255);
    EXPECT_EQ(frame.averages[blockIndex(0, 0)].red, 0);
    EXPECT_EQ(frame.averages[blockIndex(kBlockColumns - 1, kBlockRows - 1)].red, 0);

    makeWorkFrame(picture.view(), true, 128, frame);
    EXPECT_EQ(frame.averages[blockIndex(kBlockColumns - 1, kBlockRows - 1)].red, 255);
    EXPECT_EQ(frame.averages[blockIndex(0, kBlockRows - 1)].red, 0);
}

}  // namespace
