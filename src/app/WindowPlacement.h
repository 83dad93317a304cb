#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace nebulor {

// The frame of a second window beside a placed one: on the side of the screen
// with room for it (the right when both have), top edges level, narrowed to
// the room but never below minimum, and on the screen. Frames include the
// window manager's decorations; screen is the area windows may take.
QRect besideFrame(const QRect& screen, const QRect& placed, QSize wanted, QSize minimum);

// Shows `second` beside `first` once the window manager has placed and
// mapped `first`: placed any earlier, it lands where `first` then goes.
// Call after first.show().
void showBesideOnceMapped(QWidget& first, QWidget& second);

}  // namespace nebulor
