#pragma once

class QWidget;

// The window "Über Sentello:": the logo, 600 x 240, with the author line, the web address and
// what Sentello is for drawn over it. Centred, above all other windows, with a close box
// only; returns when it is closed (or at once when the logo cannot be read).
void showAboutWindow(QWidget* mainWindow);
