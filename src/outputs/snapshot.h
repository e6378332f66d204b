#pragma once

#include <QImage>

#include <string>
#include <vector>

#include "detection/datetemplate.h"
#include "detection/frameview.h"

// The caption of a snapshot: the program and version, the picture's time, and the last
// trigger's time when there was one since start.
std::vector<std::string> snapshotCaption(const std::string& versionText, const DateFields& now,
                                         const std::string& lastTriggerText);

// The caption drawn onto the picture, transparent: a black shadow two pixels down and right,
// then the first two lines in white and the third in light blue, from 8, 8 in steps of 12.
void drawCaption(QImage& picture, const std::vector<std::string>& lines);

// A camera picture as an image of its own, in blue, green, red, unused (Qt's RGB32 on this
// byte order), as videoconvert would have made it.
QImage pictureImage(const FrameView& picture);

// A camera picture at the camera's own size (not mirrored, brightened or scaled) with the
// caption, as a JPEG of quality 70.
std::string makeSnapshot(const FrameView& picture, const std::vector<std::string>& caption);
