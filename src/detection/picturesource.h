#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "detection/frameview.h"

// A picture handed out by grabFrame; the pixels stay valid while the frame is kept.
struct CameraFrame {
    FrameView view;
    // Grows with every picture the source delivers, so a caller can tell a new one.
    std::uint64_t sequence = 0;
    std::shared_ptr<const void> keepAlive;
};

// Where the detection's pictures come from: the camera, or a test's own pictures.
class PictureSource {
public:
    virtual ~PictureSource() = default;
    // The newest picture, or nothing while the source delivers none.
    virtual std::optional<CameraFrame> grabFrame() = 0;
    // The sequence number grabFrame would hand out now, without mapping the picture: the
    // detection runs more often than a camera delivers.
    virtual std::optional<std::uint64_t> newestSequence() const = 0;
};
