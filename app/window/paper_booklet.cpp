// JoinPagesScript: the further pages of a booklet handed to the loaded first page as text.
#include "app/window/paper_booklet.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string_view>

#include "app/window/page_scheme.h"
#include "app/window/windows1251.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/windows1251.h"

namespace picsheet {
namespace {

// Each page is parsed on its own; a <base> it carries counts for its own pictures only, as it
// did when the page was printed alone, and a <meta> (a refresh would reload the first page and
// drop the others) is left out. Lazy loading is taken off: a picture far down the booklet would
// never load off screen. The block around each page is what starts its sheet.
constexpr char kJoinScript[] =
    "(function (pages) {"
    "  pages.forEach(function (page) {"
    "    var doc = new DOMParser().parseFromString(page.html, 'text/html');"
    "    if (!doc.body) return;"
    "    var base = page.url;"
    "    var own = doc.querySelector('base[href]');"
    "    try { if (own) base = new URL(own.getAttribute('href'), page.url).href; } catch (e) {}"
    "    doc.querySelectorAll('base, meta').forEach(function (e) { e.remove(); });"
    "    doc.querySelectorAll('[src]').forEach(function (e) {"
    "      try { e.setAttribute('src', new URL(e.getAttribute('src'), base).href); } catch (x) {}"
    "      e.removeAttribute('loading');"
    "    });"
    "    var sheet = document.createElement('div');"
    "    sheet.style.breakBefore = 'page';"
    "    while (doc.body.firstChild) sheet.appendChild(document.adoptNode(doc.body.firstChild));"
    "    document.body.appendChild(sheet);"
    "  });"
    "  return true;"
    "})(%1)";

QString PageText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw Error(ErrorKind::kOther, messages::CannotOpenFile(path.toStdString()));
  }
  const QByteArray bytes = file.readAll();
  const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  return IsValidUtf8(view) ? QString::fromUtf8(bytes) : TextFromWindows1251(view);
}

}  // namespace

QString JoinPagesScript(const QStringList& pagePaths) {
  QJsonArray pages;
  for (const QString& path : pagePaths) {
    pages.append(QJsonObject{{QStringLiteral("url"), PageUrl(path).toString(QUrl::FullyEncoded)},
                             {QStringLiteral("html"), PageText(path)}});
  }
  // JSON is a JavaScript literal as it stands.
  return QString::fromLatin1(kJoinScript)
      .arg(QString::fromUtf8(QJsonDocument(pages).toJson(QJsonDocument::Compact)));
}

QString PicturesSettledScript() {
  return QStringLiteral(
      "Array.prototype.every.call(document.images, function (i) { return i.complete; })");
}

}  // namespace picsheet
