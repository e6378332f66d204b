#include "app/videolistmenu.h"

#include <QMenu>

std::unique_ptr<QMenu> makeVideoListMenu(QWidget* parent, std::function<void(int item)> chosen) {
    auto menu = std::make_unique<QMenu>(parent);
    const auto add = [&](int item, const char* text) {
        QObject::connect(menu->addAction(QString::fromUtf8(text)), &QAction::triggered, menu.get(),
                         [chosen, item] { chosen(item); });
    };
    add(kPlayVideo, "Video abspielen");
    menu->addSeparator();
    add(kDeleteVideo, "Video löschen");
    add(kOpenVideoFolder, "Ordner mit Videos öffnen");
    return menu;
}

std::string folderPart(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}
