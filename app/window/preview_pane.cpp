// PreviewPane: the page scheme, safe settings, fitting the width and zoom keys.
#include "app/window/preview_pane.h"

#include <QChildEvent>
#include <QFileInfo>
#include <QKeySequence>
#include <QResizeEvent>
#include <QShortcut>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWheelEvent>
#include <algorithm>

#include "app/window/page_scheme.h"

namespace picsheet {
namespace {

// The generated page: a 19 cm table (96 CSS pixels an inch) inside the body's 8-pixel margins.
constexpr double kTablePageWidth = 19 / 2.54 * 96 + 2 * 8;
// Room for the page's vertical scroll bar, which the engine draws inside the pane.
constexpr int kScrollBarRoom = 20;
constexpr double kZoomStep = 1.2;
constexpr double kMinZoom = 0.25;
constexpr double kMaxZoom = 5.0;

// The page's own width: its table's (cells with long digit captions may widen it past 19 cm)
// with the body's margins. Runs in the application's world, which works with the page's
// scripts off and is out of the page's reach.
constexpr char kMeasureScript[] =
    "(function () {"
    "  var body = document.body; if (!body) return 0;"
    "  var style = getComputedStyle(body);"
    "  var margins = parseFloat(style.marginLeft) + parseFloat(style.marginRight);"
    "  var table = body.querySelector('table');"
    "  return (table ? table.offsetWidth : 0) + margins;"
    "})()";

class LocalOnlyPage final : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    (void)type;
    (void)isMainFrame;
    return url.isLocalFile() || IsPageUrl(url) || url.scheme() == QLatin1String("about");
  }
};

// The page scheme is registered before the view brings up the web engine.
QWidget* RegisteringPageScheme(QWidget* parent) {
  RegisterPageScheme();
  return parent;
}

}  // namespace

PreviewPane::PreviewPane(QWidget* parent)
    : QWebEngineView(RegisteringPageScheme(parent)), pageWidth_(kTablePageWidth) {
  setPage(new LocalOnlyPage(this));
  ServePagesFrom(*page()->profile());
  setAcceptDrops(false);
  UseSavedPageSettings(*settings());
  // The page's pictures are local files beside it.
  settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);

  // The pane is the window's only zoomable view: the keys work wherever the focus is.
  const auto addShortcut = [this](const QKeySequence& keys, void (PreviewPane::*action)()) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, action);
  };
  addShortcut(QKeySequence::ZoomIn, &PreviewPane::ZoomIn);
  addShortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), &PreviewPane::ZoomIn);
  addShortcut(QKeySequence::ZoomOut, &PreviewPane::ZoomOut);
  addShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), &PreviewPane::FitWidth);

  connect(this, &QWebEngineView::loadFinished, this, [this](bool loaded) {
    if (loaded) MeasurePage();
  });
}

void PreviewPane::ShowFile(const QString& path) {
  // The page scheme, like a file URL, needs an absolute path.
  const QUrl target = PageUrl(QFileInfo(path).absoluteFilePath());
  if (target == url()) {
    page()->triggerAction(QWebEnginePage::ReloadAndBypassCache);
  } else {
    setUrl(target);
  }
}

void PreviewPane::ZoomIn() { ZoomBy(kZoomStep); }

void PreviewPane::ZoomOut() { ZoomBy(1 / kZoomStep); }

void PreviewPane::FitWidth() {
  fitting_ = true;
  ApplyZoom();
}

void PreviewPane::ZoomBy(double factor) {
  zoom_ = std::clamp(zoomFactor() * factor, kMinZoom, kMaxZoom);
  fitting_ = false;
  ApplyZoom();
}

void PreviewPane::ApplyZoom() {
  if (!fitting_) {
    setZoomFactor(zoom_);
    return;
  }
  const double room = std::max(1, width() - kScrollBarRoom);
  setZoomFactor(std::clamp(room / pageWidth_, kMinZoom, 1.0));
}

void PreviewPane::MeasurePage() {
  page()->runJavaScript(QString::fromLatin1(kMeasureScript), QWebEngineScript::ApplicationWorld,
                        [this](const QVariant& result) {
                          // A page going away answers with nothing; the pane may be going too.
                          if (!result.isValid()) return;
                          const double measured = result.toDouble();
                          pageWidth_ = measured > 0 ? measured : kTablePageWidth;
                          ApplyZoom();
                        });
}

void PreviewPane::resizeEvent(QResizeEvent* event) {
  QWebEngineView::resizeEvent(event);
  if (fitting_) ApplyZoom();
}

void PreviewPane::childEvent(QChildEvent* event) {
  // The engine renders into a child widget, which receives the wheel events.
  if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
  QWebEngineView::childEvent(event);
}

bool PreviewPane::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
    // Not the engine's to open: a file or link dropped here goes on to the window, where it
    // becomes the source.
    event->ignore();
    return true;
  }
  if (type == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (wheel->modifiers() & Qt::ControlModifier) {
      const int delta = wheel->angleDelta().y();
      if (delta > 0) ZoomIn();
      if (delta < 0) ZoomOut();
      return true;  // the engine's own wheel zoom would bypass the fitted width
    }
  }
  return QWebEngineView::eventFilter(watched, event);
}

}  // namespace picsheet
