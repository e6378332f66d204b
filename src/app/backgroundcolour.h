#pragma once

class QColor;
class QWidget;

// Fills the widget's background with the colour; no repaint when it has it already.
void setBackgroundColour(QWidget* widget, const QColor& colour);
