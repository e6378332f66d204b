// The alert beep: the sound theme's bell, played through the desktop's sound server (here a
// private PulseAudio server that records what reaches it).

#include "app/alertbeep.h"

#include <gtest/gtest.h>

#include "../support/pulseharness.h"

namespace {

using pulseharness::PulseSinkTest;
using pulseharness::waitFor;

class AlertBeepOutput : public PulseSinkTest {};

TEST_F(AlertBeepOutput, BellReachesTheSoundServer) {
    AlertBeep beep;
    beep.beep();
    EXPECT_TRUE(waitFor([&] { return recording().size() > 1000; }))
        << "the bell is heard for a moment at least";
}

}  // namespace
