#include "settings/commandline.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, OffersTheDemoAndAGivenSource) {
    EXPECT_FALSE(parseCommandLine({}).demo);
    const CommandLine both = parseCommandLine({"--demo", "--camera", "/tmp/my clip.avi"});
    EXPECT_TRUE(both.error.empty());
    EXPECT_TRUE(both.demo);
    EXPECT_EQ(both.camera, "/tmp/my clip.avi");
    EXPECT_EQ(parseCommandLine({"--camera=videotestsrc pattern=ball"}).camera,
              "videotestsrc pattern=ball");
    EXPECT_TRUE(parseCommandLine({"--help"}).showHelp);
}

TEST(CommandLine, AsksForTheVersion) {
    const CommandLine version = parseCommandLine({"--version"});
    EXPECT_TRUE(version.error.empty());
    EXPECT_TRUE(version.showVersion);
    EXPECT_FALSE(version.showHelp);
    EXPECT_FALSE(parseCommandLine({"--demo"}).showVersion);
}

TEST(CommandLine, RejectsWhatItDoesNotUnderstand) {
    EXPECT_EQ(parseCommandLine({"--camera"}).error, "--camera needs a source");
    EXPECT_EQ(parseCommandLine({"--camera="}).error, "--camera needs a source");
    EXPECT_EQ(parseCommandLine({"--demo", "--fast"}).error, "unknown argument: --fast");
    EXPECT_EQ(parseCommandLine({"clip.avi"}).error, "unknown argument: clip.avi");
}

// A profile names a folder and a part of clip names: nothing that could leave the folder,
// hide among the dates or break a name.
TEST(CommandLine, TakesAProfileOfASafeName) {
    EXPECT_EQ(parseCommandLine({}).profile, "");
    EXPECT_EQ(parseCommandLine({"--profile", "Garten"}).profile, "Garten");
    const CommandLine joined = parseCommandLine({"--demo", "--profile=Flur-2_oben"});
    EXPECT_TRUE(joined.error.empty());
    EXPECT_EQ(joined.profile, "Flur-2_oben");
    for (const char* bad : {"", "../x", "a/b", "2.Kamera", "Küche", "a b", ".", "_x", "-x",
                            "Garten\n", "abcdefghijklmnopqrstuvwxyzABCDEFG"}) {
        EXPECT_FALSE(parseCommandLine({"--profile", bad}).error.empty()) << bad;
    }
    EXPECT_FALSE(parseCommandLine({"--profile"}).error.empty());
}

}  // namespace
