#include "app/window/pdf_export.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QMarginsF>
#include <QPageSize>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>

#include "app/window/page_scheme.h"

namespace picsheet {
namespace {

constexpr char kPrintStyleScript[] =
    "var style = document.createElement('style');"
    "style.textContent = '@media print { body { margin: 0; } table { border-spacing: 0; } td { "
    "padding: 0; } }';"
    "document.head ? document.head.appendChild(style) : "
    "document.documentElement.appendChild(style);"
    "true;";

}  // namespace

QPageLayout PrintLayout() {
  return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                     QPageLayout::Millimeter);
}

void PrepareForPrint(QWebEnginePage& page, const std::function<void()>& printNow) {
  page.runJavaScript(QString::fromLatin1(kPrintStyleScript), QWebEngineScript::ApplicationWorld,
                     [printNow](const QVariant&) { printNow(); });
}

bool ExportPdf(const QString& pagePath, const QString& pdfPath, QString& error) {
  if (!QFileInfo(pagePath).isFile()) {
    error = QStringLiteral("Cannot open file \"%1\"").arg(pagePath);
    return false;
  }
  RegisterPageScheme();  // before the page brings up the web engine
  QWebEnginePage page;
  // The title and numbers come from a foreign page: no scripts, no plugins, no remote loads.
  QWebEngineSettings* settings = page.settings();
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setDefaultTextEncoding(QStringLiteral("windows-1251"));

  QEventLoop loop;
  bool succeeded = false;
  QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, [&](bool loaded) {
    if (!loaded) {
      error = QStringLiteral("Cannot load \"%1\"").arg(pagePath);
      loop.quit();
      return;
    }
    PrepareForPrint(page, [&] { page.printToPdf(pdfPath, PrintLayout()); });
  });
  QObject::connect(&page, &QWebEnginePage::pdfPrintingFinished, &loop,
                   [&](const QString&, bool written) {
                     succeeded = written;
                     if (!written) error = QStringLiteral("Cannot create file \"%1\"").arg(pdfPath);
                     loop.quit();
                   });
  LoadSavedPage(page, QFileInfo(pagePath).absoluteFilePath());
  loop.exec();
  return succeeded;
}

}  // namespace picsheet
