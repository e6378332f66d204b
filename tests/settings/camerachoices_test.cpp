// The camera dialogs' choices in the settings file: their own group, written only when chosen.

#include "settings/camerachoices.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "../tempfolder.h"

namespace {

class CameraChoicesTest : public ::testing::Test {
protected:
    std::string contents() const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TempFolder folder;
    std::string path = (folder / "Sentello.prefs").string();
};

TEST_F(CameraChoicesTest, NothingChosenGivesDefaultsAndWritesNothing) {
    const CameraChoices choices = loadCameraChoices(path);
    EXPECT_TRUE(choices.formatCamera.empty());
    EXPECT_EQ(choices.codec, "mjpeg");
    EXPECT_EQ(choices.quality, 85);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CameraChoicesTest, EachChoiceWritesItsKeysBelowTheOptions) {
    std::ofstream(path, std::ios::binary) << "[Optionen]\r\nhspiegeln = 1\r\n";
    CameraChoices choices;
    choices.formatCamera = "USB Camera";
    choices.width = 640;
    choices.height = 480;
    choices.rateNumerator = 30000;
    choices.rateDenominator = 1001;
    saveFormatChoice(path, choices);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nhspiegeln = 1\r\n[Kamera]\r\nformatkamera = USB Camera\r\n"
              "breite = 640\r\nhoehe = 480\r\nbildrate = 30000\r\nbildrateteiler = 1001\r\n");

    choices.codec = "mpeg4";
    choices.quality = 40;
    saveCompressionChoice(path, choices);
    const CameraChoices loaded = loadCameraChoices(path);
    EXPECT_EQ(loaded.formatCamera, "USB Camera");
    EXPECT_EQ(loaded.width, 640);
    EXPECT_EQ(loaded.rateDenominator, 1001);
    EXPECT_EQ(loaded.codec, "mpeg4");
    EXPECT_EQ(loaded.quality, 40);
    EXPECT_TRUE(contents().starts_with("[Optionen]\r\nhspiegeln = 1\r\n[Kamera]\r\n"));
}

TEST_F(CameraChoicesTest, DamagedValuesFallBack) {
    std::ofstream(path, std::ios::binary)
        << "[Kamera]\r\nformatkamera = Cam\r\nbreite = 0\r\nhoehe = 480\r\nbildrate = 30\r\n"
           "bildrateteiler = 0\r\ncodec = h265\r\nqualitaet = 500\r\n";
    const CameraChoices loaded = loadCameraChoices(path);
    EXPECT_TRUE(loaded.formatCamera.empty()) << "a format without a width is none";
    EXPECT_EQ(loaded.rateDenominator, 1);
    EXPECT_EQ(loaded.codec, "mjpeg");
    EXPECT_EQ(loaded.quality, 100);
}

// The bytes the choices made of such a file before their keys were a table of the shared kind.
TEST_F(CameraChoicesTest, AFileOfByteOrderMarkIsWrittenBackAsBefore) {
    std::ofstream(path, std::ios::binary)
        << "\xEF\xBB\xBF[kamera]\r\nFORMATKAMERA = K\xC3\xA4mera \xC5\x81\r\nbreite = 640\r\n"
           "hoehe = 480\r\nbildrate = 30\r\nbildrateteiler = -2\r\ncodec = h264\r\n"
           "qualitaet = 300\r\n";
    const CameraChoices loaded = loadCameraChoices(path);
    EXPECT_EQ(loaded.formatCamera, "K\xE4mera ?") << "one byte a character, as the file keeps it";
    saveFormatChoice(path, loaded);
    saveCompressionChoice(path, loaded);
    EXPECT_EQ(contents(),
              "\xEF\xBB\xBF\r\n[kamera]\r\nformatkamera = K\xC3\xA4mera ?\r\nbreite = 640\r\n"
              "hoehe = 480\r\nbildrate = 30\r\nbildrateteiler = 1\r\ncodec = mjpeg\r\n"
              "qualitaet = 100\r\n");
}

}  // namespace
