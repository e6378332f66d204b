// The pieces of the side windows that need no window: the built-in logo read by libpng, and
// the folder part of a clip path for the video list's menu.

#include <gtest/gtest.h>

#include <QColor>

#include <string>
#include <vector>

#include "app/videolistmenu.h"
#include "outputs/logo.h"
#include "outputs/pngimage.h"

namespace {

TEST(BuiltInLogo, DecodesToItsSizeAndColours) {
    const QImage logo = decodePng(kLogoPng, kLogoPngSize);
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(600, 240));
    EXPECT_EQ(logo.pixelColor(120, 110), QColor(0xe3, 0x3b, 0x3b));  // the lens' red centre
    // 8-bit RGB, not interlaced: colour type 2 and interlace method 0 in the header.
    ASSERT_GT(kLogoPngSize, 29u);
    EXPECT_EQ(kLogoPng[24], 8);
    EXPECT_EQ(kLogoPng[25], 2);
    EXPECT_EQ(kLogoPng[28], 0);
}

TEST(BuiltInLogo, DamagedDataGivesNoPicture) {
    EXPECT_TRUE(decodePng(kLogoPng, kLogoPngSize / 2).isNull());
    const std::vector<unsigned char> garbage(100, 0x42);
    EXPECT_TRUE(decodePng(garbage.data(), garbage.size()).isNull());
    EXPECT_TRUE(decodePng(kLogoPng, 0).isNull());
}

TEST(FolderPart, UpToTheLastSeparator) {
    EXPECT_EQ(folderPart("/home/anna/Video_Sentello_20110304211503.avi"), "/home/anna/");
    EXPECT_EQ(folderPart("C:\\Users\\anna\\Video.avi"), "C:\\Users\\anna\\");
    EXPECT_EQ(folderPart("/Video.avi"), "/");
    EXPECT_EQ(folderPart("Video.avi"), "");
}

}  // namespace
