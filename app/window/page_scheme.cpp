// The page scheme's handler: reads a saved page file and serves it with its character set.
#include "app/window/page_scheme.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <string_view>

#include "base/windows1251.h"

namespace picsheet {
namespace {

constexpr char kScheme[] = "picsheet-page";
// A host makes the engine treat the URLs as hierarchical ones like http:, so that "\" in the
// page's src paths separates folders as it does under file:.
constexpr char kHost[] = "local";

class PageSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QString path = job->requestUrl().path();
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    auto* body = new QBuffer(job);  // the job owns what it reads from
    body->setData(file.readAll());
    body->open(QIODevice::ReadOnly);
    job->reply(ContentType(path, body->data()), body);
  }

 private:
  static QByteArray ContentType(const QString& path, const QByteArray& body) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm")) {
      // The same rule as for the names on disk: a page that is valid UTF-8 as a whole (a
      // catalogue written in UTF-8, or plain ASCII) is UTF-8; any other is Windows-1251.
      const bool utf8 = IsValidUtf8(std::string_view(body.constData(), body.size()));
      return utf8 ? "text/html;charset=utf-8" : "text/html;charset=windows-1251";
    }
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) return "image/jpeg";
    if (suffix == QLatin1String("png")) return "image/png";
    return "application/octet-stream";
  }
};

}  // namespace

void RegisterPageScheme() {
  static const bool registered = [] {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
    return true;
  }();
  (void)registered;
}

void ServePagesFrom(QWebEngineProfile& profile) {
  if (profile.urlSchemeHandler(kScheme) != nullptr) return;
  profile.installUrlSchemeHandler(kScheme, new PageSchemeHandler(&profile));
}

QUrl PageUrl(const QString& absolutePath) {
  QUrl url;
  url.setScheme(QString::fromLatin1(kScheme));
  url.setHost(QString::fromLatin1(kHost));
  url.setPath(absolutePath);
  return url;
}

void LoadSavedPage(QWebEnginePage& page, const QString& absolutePath) {
  ServePagesFrom(*page.profile());
  page.load(PageUrl(absolutePath));
}

void UseSavedPageSettings(QWebEngineSettings& settings) {
  settings.setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  settings.setAttribute(QWebEngineSettings::PluginsEnabled, false);
  settings.setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings.setDefaultTextEncoding(QStringLiteral("windows-1251"));
}

bool IsPageUrl(const QUrl& url) {
  return url.scheme() == QLatin1String(kScheme) && url.host() == QLatin1String(kHost);
}

}  // namespace picsheet
