#include "app/window/destroyed_window_watch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QWidget>
#include <cstdint>
#include <cstring>

namespace picsheet {
namespace {

// The X11 protocol's DestroyNotify event as xcb hands it over (xcb_destroy_notify_event_t),
// spelled out here so that the window needs no X11 headers to build.
constexpr std::uint8_t kDestroyNotify = 17;
struct DestroyNotifyEvent {
  std::uint8_t responseType;
  std::uint8_t pad;
  std::uint16_t sequence;
  std::uint32_t event;
  std::uint32_t window;
};

}  // namespace

DestroyedWindowWatch::DestroyedWindowWatch(QWidget& window) : window_(window) {
  QCoreApplication::instance()->installNativeEventFilter(this);
}

DestroyedWindowWatch::~DestroyedWindowWatch() {
  if (QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->removeNativeEventFilter(this);
  }
}

bool DestroyedWindowWatch::nativeEventFilter(const QByteArray& eventType, void* message,
                                             qintptr* result) {
  (void)result;
  if (eventType != "xcb_generic_event_t" || message == nullptr) return false;
  DestroyNotifyEvent destroyed{};
  std::memcpy(&destroyed, message, sizeof destroyed);
  // The high bit marks an event sent by another client.
  if ((destroyed.responseType & 0x7f) != kDestroyNotify) return false;
  const WId own = window_.internalWinId();
  if (own == 0 || destroyed.window != own) return false;
  // Qt is still inside its own event handling here.
  QMetaObject::invokeMethod(&window_, &QWidget::close, Qt::QueuedConnection);
  return false;
}

}  // namespace picsheet
