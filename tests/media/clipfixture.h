#pragma once

// A camera that records clips into a folder of the test's own, and what GStreamer's discoverer
// reads back from them.

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QSignalSpy>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "../tempfolder.h"
#include "media/camera.h"

// Generous bounds: the sanitizer build on a busy machine is many times slower than normal.
inline constexpr int kConnectTries = 3;
inline constexpr int kClipEndTimeoutMs = 60000;

// A live test pattern of 320 × 240 at 25 pictures a second.
inline const CameraSource kTestPattern{"test",
                                       "videotestsrc is-live=true pattern=ball"
                                       " ! video/x-raw,width=320,height=240,framerate=25/1"};

struct ClipFacts {
    double seconds = 0;
    int width = 0;
    int height = 0;
    bool hasSound = false;
    std::string container;
};

std::optional<ClipFacts> discover(const std::filesystem::path& path);

// Hands each sample of a file, decoded by `decoding` into an appsink, to `take`, mapped; the
// decoding waits for the test.
void eachDecoded(const std::filesystem::path& path, const std::string& decoding,
                 const std::function<void(GstSample*, const GstMapInfo&)>& take);

class ClipFixture : public ::testing::Test {
protected:
    void connect(const CameraSource& source) {
        ASSERT_TRUE(loadCaptureLibrary());
        bool connected = false;
        for (int attempt = 0; attempt < kConnectTries && !connected; ++attempt)
            connected = camera.connectSource(source);
        ASSERT_TRUE(connected);
    }

    // Records and waits for the end; the statuses in the order they came.
    QList<int> record(const ClipRequest& request) {
        QSignalSpy statuses(&camera, &Camera::captureStatus);
        camera.startRecording(request);
        return statusesAtEnd(statuses);
    }

    // Waits for the end of the clip under way; the statuses in the order they came.
    QList<int> statusesAtEnd(QSignalSpy& statuses) {
        waitForEnd(statuses);
        QList<int> numbers;
        for (const QList<QVariant>& status : statuses) {
            numbers.append(status.at(0).toInt());
            lastText = status.at(1).toString();
        }
        return numbers;
    }

    static void waitForEnd(QSignalSpy& statuses) {
        (void)QTest::qWaitFor(
            [&] { return !statuses.isEmpty() && statuses.last().at(0).toInt() == kCaptureEnds; },
            kClipEndTimeoutMs);
    }

    // The camera hands out a picture it did not hand out before.
    bool stillDelivering() {
        const auto before = camera.grabFrame();
        const std::uint64_t seen = before ? before->sequence : 0;
        return QTest::qWaitFor(
            [&] {
                const auto frame = camera.grabFrame();
                return frame && frame->sequence > seen;
            },
            20000);
    }

    TempFolder folder;
    Camera camera;
    QString lastText;
};
