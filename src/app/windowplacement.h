#pragma once

class QWidget;

// Places the window so that it stands in the middle of the screen with its frame. The window
// manager frames a window only once it is shown, so a window placed before that is placed
// again as soon as its frame is known.
void centreOnScreen(QWidget& window);
