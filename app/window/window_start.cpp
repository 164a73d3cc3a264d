// Opening the window with the source given on its command line.
#include "app/window/window_start.h"

#include <QScreen>
#include <algorithm>

#include "app/window/main_form.h"
#include "app/window/source_text.h"

namespace picsheet {
namespace {

// Room for the window manager's frame and title bar, which are not known before the window is
// shown.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 36;

// The window keeps its own size and place where the screen holds them; on a small screen, or
// with large fonts scaling everything up, it shrinks and moves so that all of it can be seen.
void KeepOnScreen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) return;
  const QRect room = screen->availableGeometry();
  const int width = std::max(window.minimumSizeHint().width(),
                             std::min(window.width(), room.width() - kFrameWidth));
  const int height = std::max(window.minimumSizeHint().height(),
                              std::min(window.height(), room.height() - kFrameHeight));
  window.resize(width, height);
  const int left =
      std::max(room.left(), std::min(window.x(), room.right() + 1 - width - kFrameWidth));
  const int top =
      std::max(room.top(), std::min(window.y(), room.bottom() + 1 - height - kFrameHeight));
  window.move(left, top);
}

}  // namespace

std::unique_ptr<MainForm> StartWindow(const QStringList& arguments) {
  auto window = std::make_unique<MainForm>();
  const QString source = SourceFromArguments(arguments);
  if (!source.isEmpty()) window->SetSource(source);
  KeepOnScreen(*window);
  window->show();
  return window;
}

}  // namespace picsheet
