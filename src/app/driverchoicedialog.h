#pragma once

#include <vector>

#include "media/camerasources.h"

class QWidget;

// Shows the window "Kameratreiber auswählen:" with one line per source and waits. Returns the
// chosen line's position + 1 on a double click, -1 when the window was closed and 0 when there
// is no source to choose.
int chooseCaptureDriver(QWidget* owner, const std::vector<CameraSource>& sources);
