#pragma once

#include <functional>
#include <memory>
#include <string>

class QMenu;
class QWidget;

// The items of the video list's pop-up menu, by their numbers.
enum VideoListMenuItem { kPlayVideo = 300, kDeleteVideo = 301, kOpenVideoFolder = 302 };

// "Video abspielen", a separator, "Video löschen", "Ordner mit Videos öffnen"; a chosen item's
// number goes to `chosen`.
std::unique_ptr<QMenu> makeVideoListMenu(QWidget* parent, std::function<void(int item)> chosen);

// Everything of the path up to and including its last "/" (or "\"); empty without one.
std::string folderPart(const std::string& path);
