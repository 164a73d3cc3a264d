// Closes a window whose X11 window another program destroyed, as if the user had closed it.
#pragma once

#include <QAbstractNativeEventFilter>

class QWidget;

namespace picsheet {

// While it lives, watches the application's X11 events for the destruction of window's own
// native window (xdotool windowclose, a tool calling XDestroyWindow): Qt takes no notice of
// it and would keep the process, and a run in it, going with nothing on the screen. The window
// gets a close() instead, which stops a run and ends the program with its last window.
class DestroyedWindowWatch final : public QAbstractNativeEventFilter {
 public:
  explicit DestroyedWindowWatch(QWidget& window);
  ~DestroyedWindowWatch() override;
  DestroyedWindowWatch(const DestroyedWindowWatch&) = delete;
  DestroyedWindowWatch& operator=(const DestroyedWindowWatch&) = delete;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  QWidget& window_;
};

}  // namespace picsheet
