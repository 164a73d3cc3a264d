// The window's texts for a collection run, in its Russian words.
#include "app/window/collection_text.h"

#include <algorithm>

#include "app/core/error_message.h"
#include "app/window/windows1251.h"
#include "base/file_system_name.h"

namespace picsheet {
namespace {

QString PageName(const CollectionItem& item) {
  return QString::fromStdString(FileSystemName(item.saveName + ".html"));
}

}  // namespace

QString CataloguePlace(int index, int count) {
  return QStringLiteral("Каталог %1 из %2").arg(index + 1).arg(count);
}

QString PlannedNames(const CollectionPlan& plan) {
  QStringList names;
  for (const CollectionItem& item : plan.items) {
    names << QString::fromStdString(FileSystemName(item.saveName));
  }
  return names.join(QStringLiteral(", "));
}

QString PlanDetails(const CollectionPlan& plan) {
  QStringList lines{QStringLiteral("Каждая страница сохраняется под своим именем:")};
  for (const CollectionItem& item : plan.items) {
    lines << QStringLiteral("%1 → %2").arg(QString::fromStdString(item.source), PageName(item));
  }
  for (const std::string& note : plan.notes) lines << QString::fromStdString(note);
  return lines.join(u'\n');
}

QString PlanNotes(const CollectionPlan& plan) {
  QStringList notes;
  for (const std::string& note : plan.notes) notes << QString::fromStdString(note);
  return notes.join(QStringLiteral("; "));
}

QString AboutCatalogue(const std::string& source, const QString& text) {
  return QStringLiteral("%1: %2").arg(QString::fromStdString(source), text);
}

LeftOutReport DescribeLeftOut(const std::vector<LeftOutItem>& leftOut, std::size_t catalogues) {
  const auto pages = std::count_if(leftOut.begin(), leftOut.end(),
                                   [](const LeftOutItem& item) { return item.wholeCatalogue; });
  const auto pictures = static_cast<qsizetype>(leftOut.size()) - pages;
  LeftOutReport report;
  for (const LeftOutItem& item : leftOut) {
    QString line = DecodeMessageText(DescribeFailure(item.error));
    if (item.wholeCatalogue) {
      const QString message = DecodeMessageText(MessageForDisplay(item.error.what()));
      line = line.isEmpty() ? message : QStringLiteral("%1 — %2").arg(message, line);
    }
    report.lines << (catalogues > 1 ? AboutCatalogue(item.source, line) : line);
  }
  if (catalogues <= 1) {
    report.text = QStringLiteral("Пропущено изображений: %1").arg(pictures);
    report.informative = QStringLiteral("Страница сохранена, на их местах пустые ячейки.");
    return report;
  }
  if (pages > 0 && pictures > 0) {
    report.text =
        QStringLiteral("Пропущено каталогов: %1, изображений: %2").arg(pages).arg(pictures);
  } else if (pages > 0) {
    report.text = QStringLiteral("Пропущено каталогов: %1").arg(pages);
  } else {
    report.text = QStringLiteral("Пропущено изображений: %1").arg(pictures);
  }
  report.informative = (pages > 0 ? QStringLiteral("Остальные страницы сохранены")
                                  : QStringLiteral("Страницы сохранены")) +
                       (pictures > 0 ? QStringLiteral(", на местах изображений пустые ячейки.")
                                     : QStringLiteral("."));
  return report;
}

}  // namespace picsheet
