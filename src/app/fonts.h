#pragma once

#include <QFont>

// The window's fonts: face "tahoma" in point sizes that keep the gadget texts at about the
// same pixel height on any screen (768 / horizontal dots per inch).
struct WindowFonts {
    QFont recordMode;  // bold, for the record-mode check box
    QFont gadgets;     // every other gadget
};

// Makes the Tahoma-compatible face of Wine's fonts known to Qt, where it is installed;
// without it "tahoma" falls back to the default sans-serif face.
void registerTahoma();

WindowFonts windowFonts(int horizontalDpi);
