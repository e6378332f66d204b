#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "../support/detectionrun.h"
#include "clipfixture.h"
#include "media/camera.h"

namespace {

constexpr int kFootageRate = 10;

// People walking across a courtyard, far from the camera: footage that nobody here made
// (scripts/fetch-footage.sh). Each walker covers a few blocks and moves a few pixels a picture.
std::string courtyardFootage() {
    const std::string path = SENTELLO_FOOTAGE_DIR "/vtest.avi";
    const std::string fetch = SENTELLO_SOURCE_DIR "/scripts/fetch-footage.sh '" + path + "'";
    if (std::system(fetch.c_str()) != 0)
        ADD_FAILURE() << "could not fetch the footage: " << fetch;
    return path;
}

struct Levels {
    double firstTrigger = -1;  // seconds into the footage
    int pictures = 0;
    int atLeastTrigger = 0;  // pictures whose level reached the trigger
};

// Runs the detection once per picture of the footage's first `seconds`, with the trigger at
// `trigger` percent.
Levels detectOnFootage(bool withBackground, int trigger, int seconds) {
    DetectionRun detection(withBackground, trigger);
    Levels levels;
    eachDecoded(courtyardFootage(),
                "decodebin ! videoconvert ! video/x-raw,format=BGRx,width=768,height=576",
                [&](GstSample*, const GstMapInfo& map) {
                    if (levels.pictures >= seconds * kFootageRate)
                        return;
                    const FrameView picture{map.data, 768, 576, 768 * 4};
                    const bool triggered = detection.run(picture, 1.0 / kFootageRate);
                    const double at = double(levels.pictures++) / kFootageRate;
                    if (levels.pictures <= 2)
                        return;  // the first runs compare with nothing
                    levels.atLeastTrigger += detection.result.changePercent >= float(trigger);
                    if (triggered && levels.firstTrigger < 0)
                        levels.firstTrigger = at;
                });
    return levels;
}

class RealFootage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(loadCaptureLibrary()); }
};

// The walkers cover about one block in twenty. Against the background they hold that level
// in most pictures, and a trigger set there comes within the first seconds; the previous run
// reaches it only now and then, when someone happens to move far enough from one picture to
// the next.
TEST_F(RealFootage, TheBackgroundHoldsThePeopleWalkingFarAway) {
    const Levels background = detectOnFootage(true, 4, 80);
    ASSERT_EQ(background.pictures, 795);
    EXPECT_GE(background.firstTrigger, 0);
    EXPECT_LT(background.firstTrigger, 10);
    EXPECT_GT(background.atLeastTrigger, background.pictures * 3 / 4);

    const Levels previousRun = detectOnFootage(false, 4, 80);
    ASSERT_EQ(previousRun.pictures, 795);
    EXPECT_LT(previousRun.atLeastTrigger, previousRun.pictures / 20);
}

// At the start values (a quarter of the blocks) neither reference triggers: so few blocks
// change that the trigger must be set lower, which the block-difference wash shows.
TEST_F(RealFootage, AtTheStartValuesTheWalkersAreTooSmallToTrigger) {
    EXPECT_LT(detectOnFootage(true, 25, 80).firstTrigger, 0);
    EXPECT_LT(detectOnFootage(false, 25, 80).firstTrigger, 0);
}

}  // namespace
