#pragma once

#include <optional>
#include <vector>

#include "detection/cliprequest.h"
#include "media/cameraformat.h"

class CameraControls;
class QWidget;

// The camera dialogs behind the buttons "Format", "Source" and "Kompression". Each is modal
// and returns when it is closed.

// The offered formats in a list, the current one selected; the chosen one, or none when the
// dialog was cancelled (or nothing was offered, which the dialog says).
std::optional<CameraFormat> chooseCameraFormat(QWidget* parent,
                                               const std::vector<CameraFormat>& offered,
                                               const std::optional<CameraFormat>& current);

// A slider, check box or menu for each control, applied while it is moved; "Standard" puts
// every control back to its default.
void adjustCameraControls(QWidget* parent, CameraControls& controls);

// The clips' codec and quality; none when the dialog was cancelled.
std::optional<ClipCompression> chooseClipCompression(QWidget* parent,
                                                     const ClipCompression& current);
