#include "app/backgroundcolour.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

void setBackgroundColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    if (widget->autoFillBackground() && palette.color(QPalette::Window) == colour)
        return;
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}
