#pragma once

#include <QObject>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../tempfolder.h"
#include "app/gadgettable.h"
#include "app/mainwindow.h"
#include "media/camera.h"
#include "settings/settingswriter.h"

// A main window with its settings in a folder of its own, loaded as at start-up: from the
// settings text given, or from no file at all.
struct Window {
    TempFolder folder;
    std::string settingsFile;
    DetectionState state;
    Camera camera;
    MainWindow window;
    GadgetTable& g;

    explicit Window(const std::string& storedSettings = {}, MainLoopClock clock = {},
                    const std::string& settingsName = "Sentello.prefs")
        : settingsFile((folder / settingsName).string()),
          window(state, std::move(clock)),
          g(build(storedSettings)) {}

    GadgetTable& build(const std::string& storedSettings) {
        if (!storedSettings.empty())
            std::ofstream(settingsFile, std::ios::binary) << storedSettings;
        window.createGadgets(camera, settingsFile, folder.path().string() + "/");
        window.loadSettings();
        return window.gadgets();
    }
    // What the disk holds once the settings writer has written what it was given.
    std::string settings() const {
        SettingsWriter::instance().waitUntilWritten(
            std::filesystem::weakly_canonical(settingsFile));
        std::ifstream in(settingsFile, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

// Counts the pictures the camera tells of; the window runs its detection on each.
class PictureCounter : public QObject {
public:
    explicit PictureCounter(Camera& camera) {
        connect(&camera, &Camera::pictureArrived, this, [this] { ++count; });
    }
    int count = 0;
};
