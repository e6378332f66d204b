#pragma once

class QWidget;

// Shows a side window (the own player, the About window) and returns when it is closed. The
// program's other windows take no input meanwhile, and closing one of them closes only the
// side window.
void runUntilClosed(QWidget& window);
