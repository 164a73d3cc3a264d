// The sources of a drop or of the source field's text, and the window's command-line argument.
#include "app/window/source_text.h"

#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

namespace picsheet {
namespace {

// Several sources share the one-line field this way: links hold no blanks, and paths rarely a
// semicolon followed by one.
const QString kSeparator = QStringLiteral("; ");

// The loader takes local paths and http(s) links; a file URL names a local path.
QString FromUrlText(const QString& text) {
  if (!text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) return text;
  const QUrl url(text);
  return url.isLocalFile() ? url.toLocalFile() : text;
}

}  // namespace

QStringList SourcesFromDrop(const QMimeData& data) {
  QStringList sources;
  if (data.hasUrls()) {
    for (const QUrl& url : data.urls()) {
      if (!url.isEmpty()) sources << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    }
  }
  if (sources.isEmpty() && data.hasText()) {
    for (const QString& line : data.text().split(u'\n')) {
      const QString trimmed = line.trimmed();
      if (!trimmed.isEmpty()) sources << FromUrlText(trimmed);
    }
  }
  return sources;
}

QStringList SourcesInText(const QString& text) {
  static const QRegularExpression kBetween(QStringLiteral("[\\r\\n]|; "));
  QStringList parts;
  for (const QString& part : text.split(kBetween)) {
    const QString trimmed = part.trimmed();
    if (!trimmed.isEmpty()) parts << trimmed;
  }
  // The run has always taken the field's text whole; a file named with "; " stays one source.
  if (parts.size() < 2 || QFileInfo(text).isFile()) return {text};
  return parts;
}

QString SourceFieldText(const QStringList& sources) { return sources.join(kSeparator); }

QString SourceFromArguments(const QStringList& arguments) {
  if (arguments.size() != 2 || arguments.at(1).startsWith(u'-')) return {};
  return FromUrlText(arguments.at(1));
}

}  // namespace picsheet
