// Snapshots: the caption's lines, colours and places, the JPEG file (read back with libjpeg),
// and the camera picture at its own size, neither mirrored nor scaled.

#include "outputs/snapshot.h"

#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include <jpeglib.h>

#include "../tempfolder.h"
#include "media/camera.h"
#include "media/camerasources.h"
#include "outputs/jpegfile.h"
#include "settings/wholefile.h"

namespace {

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    int components = 0;
    QImage picture;
};

// Decodes with libjpeg, as any JPEG reader would; nothing for a file it cannot read.
std::optional<DecodedJpeg> decodeJpeg(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    DecodedJpeg decoded;
    if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
        decoded.components = info.num_components;
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        decoded.width = static_cast<int>(info.output_width);
        decoded.height = static_cast<int>(info.output_height);
        decoded.picture = QImage(decoded.width, decoded.height, QImage::Format_RGB888);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = decoded.picture.scanLine(static_cast<int>(info.output_scanline));
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return decoded;
}

// Pixels in the rectangle within `tolerance` of the colour in every channel.
int pixelsNear(const QImage& picture, const QRect& area, const QColor& colour, int tolerance) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            count += std::abs(pixel.red() - colour.red()) <= tolerance &&
                     std::abs(pixel.green() - colour.green()) <= tolerance &&
                     std::abs(pixel.blue() - colour.blue()) <= tolerance;
        }
    }
    return count;
}

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kLightBlue(68, 204, 255);
const QColor kGrey(128, 128, 128);
// Where the lines stand, shadow included: 8, 8 / 8, 20 / 8, 32, each about 12 pixels high.
const QRect kLine1(8, 8, 150, 12);
const QRect kLine2(8, 20, 200, 12);
const QRect kLine3(8, 32, 220, 12);
const QRect kBelowCaption(0, 50, 320, 190);

QImage greyPicture() {
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(kGrey);
    return picture;
}

TEST(SnapshotCaption, TwoLinesUntilAClipWasStarted) {
    const DateFields now{2011, 3, 4, 21, 15, 3};
    EXPECT_EQ(
        snapshotCaption("Version 1.17", now, ""),
        (std::vector<std::string>{"Sentello Version 1.17", "Aktuelles Bild: 04.03.2011 21:15:03"}));
    EXPECT_EQ(snapshotCaption("Version 1.17", now, "04.03.2011 21:14:00").back(),
              "Zuletzt ausgelöst: 04.03.2011 21:14:00");
}

TEST(SnapshotCaption, DrawnInItsColoursAtItsPlaces) {
    QImage two = greyPicture();
    drawCaption(two, snapshotCaption("Version 1.17", {2011, 3, 4, 21, 15, 3}, ""));
    EXPECT_GT(pixelsNear(two, kLine1, kWhite, 0), 20);
    EXPECT_GT(pixelsNear(two, kLine2, kWhite, 0), 20);
    EXPECT_GT(pixelsNear(two, kLine1.translated(2, 2), kBlack, 0), 20);
    EXPECT_EQ(pixelsNear(two, kLine3, kLightBlue, 0), 0);
    EXPECT_EQ(pixelsNear(two, kBelowCaption, kGrey, 0),
              kBelowCaption.width() * kBelowCaption.height())
        << "the background stays where there is no text";

    QImage three = greyPicture();
    drawCaption(three,
                snapshotCaption("Version 1.17", {2011, 3, 4, 21, 15, 3}, "04.03.2011 21:14:00"));
    EXPECT_GT(pixelsNear(three, kLine3, kLightBlue, 0), 20);
    EXPECT_GT(pixelsNear(three, kLine3.translated(2, 2), kBlack, 0), 20);
}

TEST(JpegFile, ThreeComponentsReplacingTheOldFile) {
    TempFolder folder;
    const auto path = folder / "sentello.jpg";
    std::ofstream(path) << "old picture";
    QImage picture = greyPicture();
    drawCaption(picture, {"Sentello Version 1.17"});
    ASSERT_EQ(writeWholeFile(path, encodeJpeg(picture, 70), 0600), std::nullopt);
    const auto decoded = decodeJpeg(path);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->components, 3);
    EXPECT_EQ(decoded->width, 320);
    EXPECT_EQ(decoded->height, 240);
    EXPECT_GT(pixelsNear(decoded->picture, kLine1, kWhite, 40), 10);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(JpegFile, NoPictureNoBytes) {
    EXPECT_TRUE(encodeJpeg(QImage(), 70).empty());
}

TEST(ReplaceFile, FailedWriteLeavesNothing) {
    EXPECT_TRUE(writeWholeFile("/nonexistent/sentello/sentello.jpg", "picture", 0600));
}

// Another user's link at the picture's name is replaced, never written through.
TEST(ReplaceFile, ALinkAtTheNameIsReplacedNotFollowed) {
    TempFolder folder;
    const auto victim = folder / "victim";
    std::ofstream(victim) << "someone else's file";
    const auto path = folder / "sentello.jpg";
    std::filesystem::create_symlink(victim, path);
    ASSERT_EQ(writeWholeFile(path, "picture", 0600), std::nullopt);
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    std::ifstream picture(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(picture), {}), "picture");
    std::ifstream untouched(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(untouched), {}), "someone else's file");
}

TEST(TakeSnapshot, CameraPictureAtItsOwnSizeNotMirrored) {
    ASSERT_TRUE(loadCaptureLibrary());
    Camera camera;
    // Red on the left half, blue on the right.
    ASSERT_TRUE(camera.connectSource(
        {"halves",
         "videotestsrc is-live=true pattern=red ! video/x-raw,width=160,height=120 ! mix.sink_0"
         " videotestsrc is-live=true pattern=blue ! video/x-raw,width=160,height=120 ! mix.sink_1"
         " compositor name=mix sink_1::xpos=160",
         {}}));
    TempFolder folder;
    const auto path = folder / "sentello.jpg";
    const QRect leftBottom(10, 80, 100, 30);
    const QRect rightBottom(210, 80, 100, 30);
    // The compositor's first pictures may lack a half whose source has not delivered yet.
    std::optional<DecodedJpeg> decoded;
    const bool bothHalves = QTest::qWaitFor(
        [&] {
            const std::optional<CameraFrame> frame = camera.grabFrame();
            const std::string jpeg = frame ? makeSnapshot(frame->view, {"Sentello"}) : "";
            if (jpeg.empty() || writeWholeFile(path, jpeg, 0600))
                return false;
            decoded = decodeJpeg(path);
            return decoded &&
                   pixelsNear(decoded->picture, leftBottom, QColor(255, 0, 0), 40) > 2500 &&
                   pixelsNear(decoded->picture, rightBottom, QColor(0, 0, 255), 40) > 2500;
        },
        20000);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 320);
    EXPECT_EQ(decoded->height, 120);
    EXPECT_TRUE(bothHalves) << "red on the left, blue on the right: not mirrored";
}

TEST(TakeSnapshot, ACameraWithoutPictureGivesNothingToSnap) {
    Camera camera;
    EXPECT_FALSE(camera.grabFrame().has_value());
}

}  // namespace
