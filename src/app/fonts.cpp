#include "app/fonts.h"

#include <QFontDatabase>

void registerTahoma() {
    // fontconfig does not scan Wine's folder, so the files are registered by hand.
    for (const char* file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        QFontDatabase::addApplicationFont(QString::fromUtf8(file));
    }
}

WindowFonts windowFonts(int horizontalDpi) {
    const int points = horizontalDpi > 0 ? 768 / horizontalDpi : 8;
    QFont gadgets(QStringLiteral("tahoma"), points > 0 ? points : 1);
    QFont recordMode = gadgets;
    recordMode.setBold(true);
    // Smoothed, Wine's Tahoma Bold comes out with the thin strokes of its outlines; its
    // bitmaps for small sizes, drawn unsmoothed, are the bold ones.
    recordMode.setStyleStrategy(QFont::NoAntialias);
    return {recordMode, gadgets};
}
