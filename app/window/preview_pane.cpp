#include "app/window/preview_pane.h"

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>

namespace picsheet {
namespace {

class LocalOnlyPage final : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    (void)type;
    (void)isMainFrame;
    return url.isLocalFile() || url.scheme() == QLatin1String("about");
  }
};

}  // namespace

PreviewPane::PreviewPane(QWidget* parent) : QWebEngineView(parent) {
  setPage(new LocalOnlyPage(this));
  QWebEngineSettings* options = settings();
  options->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  options->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  options->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  // The page's pictures are local files beside it.
  options->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
  // The saved page declares no character set; its title and captions are Windows-1251.
  options->setDefaultTextEncoding(QStringLiteral("windows-1251"));
}

void PreviewPane::ShowFile(const QString& path) {
  const QUrl target = QUrl::fromLocalFile(path);
  if (target == url()) {
    page()->triggerAction(QWebEnginePage::ReloadAndBypassCache);
  } else {
    setUrl(target);
  }
}

}  // namespace picsheet
