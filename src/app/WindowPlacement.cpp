#include "app/WindowPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace nebulor {

namespace {

constexpr int kGap = 8;  // pixels between the two frames

// Places and shows the second window at the first window's first expose,
// which follows the window manager's placing of it; then removes itself.
class PlaceOnExpose : public QObject {
 public:
  PlaceOnExpose(QWidget& first, QWidget& second)
      : QObject(first.windowHandle()), first_(first), second_(second) {
    first.windowHandle()->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && first_.windowHandle()->isExposed()) {
      watched->removeEventFilter(this);
      place();
      deleteLater();
    }
    return false;
  }

 private:
  void place() {
    // The second window is not mapped yet: its decorations are taken to be the first's.
    const QRect placed = first_.frameGeometry();
    const QSize decorations = placed.size() - first_.size();
    const QRect frame = besideFrame(first_.screen()->availableGeometry(), placed,
                                    second_.sizeHint() + decorations, second_.minimumSize() + decorations);
    second_.resize(frame.size() - decorations);
    second_.move(frame.topLeft());  // a window's position is its frame's
    second_.show();
  }

  QWidget& first_;
  QWidget& second_;
};

}  // namespace

QRect besideFrame(const QRect& screen, const QRect& placed, QSize wanted, QSize minimum) {
  const int roomRight = screen.x() + screen.width() - (placed.x() + placed.width()) - kGap;
  const int roomLeft = placed.x() - screen.x() - kGap;
  const bool right = roomRight >= wanted.width() || roomRight >= roomLeft;
  const int width = std::max(std::min(wanted.width(), right ? roomRight : roomLeft), minimum.width());
  const int height = std::max(std::min(wanted.height(), screen.height()), minimum.height());
  const int x = right ? placed.x() + placed.width() + kGap : placed.x() - kGap - width;
  // Kept on the screen, which overlaps the first window only when the screen has no room beside it.
  return {std::clamp(x, screen.x(), std::max(screen.x(), screen.x() + screen.width() - width)),
          std::clamp(placed.y(), screen.y(), std::max(screen.y(), screen.y() + screen.height() - height)),
          width, height};
}

void showBesideOnceMapped(QWidget& first, QWidget& second) { new PlaceOnExpose(first, second); }

}  // namespace nebulor
