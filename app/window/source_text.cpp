// The source text of a dropped file or link, or of the window's command-line argument.
#include "app/window/source_text.h"

#include <QMimeData>
#include <QUrl>

namespace picsheet {
namespace {

// The loader takes local paths and http(s) links; a file URL names a local path.
QString FromUrlText(const QString& text) {
  if (!text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) return text;
  const QUrl url(text);
  return url.isLocalFile() ? url.toLocalFile() : text;
}

}  // namespace

QString SourceFromDrop(const QMimeData& data) {
  if (data.hasUrls()) {
    for (const QUrl& url : data.urls()) {
      if (url.isEmpty()) continue;
      return url.isLocalFile() ? url.toLocalFile() : url.toString();
    }
  }
  if (data.hasText()) {
    const QStringList lines = data.text().split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
      const QString trimmed = line.trimmed();
      if (!trimmed.isEmpty()) return FromUrlText(trimmed);
    }
  }
  return {};
}

QString SourceFromArguments(const QStringList& arguments) {
  if (arguments.size() != 2 || arguments.at(1).startsWith(u'-')) return {};
  return FromUrlText(arguments.at(1));
}

}  // namespace picsheet
