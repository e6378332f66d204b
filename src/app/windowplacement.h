#pragma once

#include <QRect>

class QWidget;

// Places the window so that it stands in the middle of the screen with its frame. The window
// manager frames a window only once it is shown, so a window placed before that is placed
// again as soon as its frame is known.
void centreOnScreen(QWidget& window);

// Places the window beside `owner`, wholly on the owner's screen (see besideOwner), and again
// as soon as its frame is known.
void placeBeside(QWidget& window, const QWidget& owner);

// Where a window whose frame has `size` stands beside the frame `owner`: on the side with more
// room, its top at the owner's, then moved as far as needed to lie wholly on `screen`, over the
// owner where the room beside it is too small. A window larger than `screen` is cut to it.
QRect besideOwner(const QRect& owner, QSize size, const QRect& screen);
