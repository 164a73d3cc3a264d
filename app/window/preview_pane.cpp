#include "app/window/preview_pane.h"

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "app/window/page_scheme.h"

namespace picsheet {
namespace {

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

PreviewPane::PreviewPane(QWidget* parent) : QWebEngineView(RegisteringPageScheme(parent)) {
  setPage(new LocalOnlyPage(this));
  ServePagesFrom(*page()->profile());
  QWebEngineSettings* options = settings();
  options->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  options->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  options->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  // The page's pictures are local files beside it.
  options->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
  // The saved page declares no character set; its title and captions are Windows-1251. Served
  // through the page scheme it comes with that charset; this covers a file: URL all the same.
  options->setDefaultTextEncoding(QStringLiteral("windows-1251"));
}

void PreviewPane::ShowFile(const QString& path) {
  const QUrl target = PageUrl(path);
  if (target == url()) {
    page()->triggerAction(QWebEnginePage::ReloadAndBypassCache);
  } else {
    setUrl(target);
  }
}

}  // namespace picsheet
