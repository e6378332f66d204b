#pragma once

#include <string>

// Status numbers of the capture notifications about a clip.
inline constexpr int kCaptureBegins = 300;  // the first data are written
inline constexpr int kCaptureEnds = 301;    // the file is finished and closed, or given up

// Motion-JPEG opens in every player; MPEG-4 part 2 (as DivX) makes clips a fraction of the
// size and still opens in GStreamer's and every other common player.
enum class ClipCodec { MotionJpeg, Mpeg4 };

// How the pictures of a clip are compressed; quality 1 (smallest) to 100 (best).
struct ClipCompression {
    ClipCodec codec = ClipCodec::MotionJpeg;
    int quality = 85;
    bool operator==(const ClipCompression&) const = default;
};

// A clip of the running camera picture.
struct ClipRequest {
    std::string path;
    int seconds = 0;
    bool withSound = false;
    ClipCompression compression;
};

// Footage of the last `seconds` kept encoded as `compression`, with sound when asked, so that
// a clip can begin that long before its trigger; 0 seconds: none.
struct PreRecordingSetup {
    int seconds = 0;
    ClipCompression compression;
    bool withSound = false;
    bool operator==(const PreRecordingSetup&) const = default;
};
