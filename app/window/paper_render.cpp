// PaperRenderer: loads the saved pages, fits them to the paper and prints them to PDF.
#include "app/window/paper_render.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QMarginsF>
#include <QPageSize>
#include <QRectF>
#include <QSaveFile>
#include <QSizeF>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <algorithm>
#include <cmath>
#include <utility>

#include "app/window/page_scheme.h"
#include "app/window/paper_booklet.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/paths.h"

namespace picsheet {
namespace {

constexpr double kMarginMm = 10;
constexpr double kPointsPerMm = 72 / 25.4;
// 5 mm: narrower margins are past what most printers can print.
constexpr double kSmallestMarginPoints = 5 * kPointsPerMm;
// Room left beside a table that is fitted: the engine's paper sizes are rounded (its A4 is
// 594.96 pt wide, not 595.28), and a table wider than the area by a hair is shrunk as a whole.
constexpr double kSlackPoints = 0.75;
constexpr double kMmPerCssPixel = 25.4 / 96;
// How often a booklet's joined pictures are asked whether they have all loaded, and how many
// times at most (10 s): local files load at once, and a sheet is better than no end.
constexpr int kPictureWaitMs = 20;
constexpr int kPictureWaitTries = 500;

// What the page leaves to the browser's defaults, set for paper. Body margin, cell spacing and
// padding would widen the table past its centimetre widths. The engine breaks table rows and
// cells across pages wherever the page ends, even with break-inside: avoid, which put captions
// on the page after their pictures; so each row is laid out as one line of inline blocks, which
// it moves to the next page whole (only a row taller than a page is cut). An unbreakable title or
// caption would widen the sheet, which the engine then shrinks as a whole, so long words wrap. A
// placeholder picture without a source would print as a broken-image frame: it keeps its box and
// shows nothing. The engine snaps a picture's edges to whole CSS pixels (0.26 mm) where it stands
// on the page, which makes pictures of one width come out one pixel apart depending on their
// place; a picture with a transform of its own is snapped in its own space, so every picture
// comes out at its width rounded once to a pixel (0.13 mm at most), whatever its position.
constexpr char kPaperStyle[] =
    "html, body { margin: 0; padding: 0; }"
    "body { overflow-wrap: anywhere; word-break: break-word; }"
    "table, tbody { display: block; }"
    "tr { display: block; white-space: nowrap; break-inside: avoid; }"
    "td { display: inline-block; vertical-align: top; white-space: normal; padding: 0;"
    " break-inside: avoid; }"
    "img:not([src]) { visibility: hidden; }"
    "img { transform: scale(0.99999); }";

// Scripts are off in the page itself; these run in the application's own world, which page
// settings do not reach and the page's content cannot see.
QString AddStyleScript(const QString& css) {
  QString quoted = css;
  quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
  quoted.replace(QStringLiteral("'"), QStringLiteral("\\'"));
  return QStringLiteral(
             "(function () {"
             "  var style = document.createElement('style');"
             "  style.textContent = '%1';"
             "  (document.head || document.documentElement).appendChild(style);"
             "  return true;"
             "})()")
      .arg(quoted);
}

// The right edge of the rightmost cell or picture in CSS pixels: the width the sheet needs (a
// full row may be wider than the table's own width; in a booklet, the widest page's). Blocks such
// as the centred title take whatever width there is, so they do not count; with the style above
// their words wrap.
constexpr char kMeasureScript[] =
    "(function () {"
    "  var right = 0;"
    "  document.querySelectorAll('table, td, img').forEach(function (e) {"
    "    right = Math.max(right, e.getBoundingClientRect().right);"
    "  });"
    "  return right;"
    "})()";

// Stays on the page file: a foreign title may carry markup that would navigate away (a refresh),
// and the sheet must be the page, nothing else.
class PageFileOnly final : public QWebEnginePage {
 public:
  PageFileOnly(QWebEngineProfile* profile, QUrl file)
      : QWebEnginePage(profile), file_(std::move(file)) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
    return !isMainFrame || url == file_;
  }

 private:
  QUrl file_;
};

QStringList AbsolutePaths(const QStringList& paths) {
  QStringList absolute;
  for (const QString& path : paths) absolute << QFileInfo(path).absoluteFilePath();
  return absolute;
}

}  // namespace

QPageLayout PaperLayout(Paper paper) {
  return QPageLayout(QPageSize(paper == Paper::kLetter ? QPageSize::Letter : QPageSize::A4),
                     QPageLayout::Portrait, QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                     QPageLayout::Millimeter);
}

PaperFit FitToPaper(const QPageLayout& requested, double tableWidthMm) {
  const double paperWidth = requested.fullRect(QPageLayout::Point).width();
  const QMarginsF margins = requested.margins(QPageLayout::Point);
  const double table = tableWidthMm * kPointsPerMm;
  double left = margins.left();
  double right = margins.right();
  PaperFit fit;
  double missing = table + kSlackPoints - (paperWidth - left - right);
  if (missing <= 0) {
    fit.layout = requested;
    return fit;
  }
  // The engine takes margins in whole points; 14 pt is the whole point nearest to 5 mm.
  const double leftFloor = std::floor(std::min(left, kSmallestMarginPoints));
  const double rightFloor = std::floor(std::min(right, kSmallestMarginPoints));
  // The same off each side while both can give; then the rest off the side that still can.
  const double shared =
      std::max(0.0, std::min({missing / 2, left - leftFloor, right - rightFloor}));
  left -= shared;
  right -= shared;
  missing -= 2 * shared;
  const double fromLeft = std::max(0.0, std::min(missing, left - leftFloor));
  left -= fromLeft;
  missing -= fromLeft;
  right -= std::max(0.0, std::min(missing, right - rightFloor));
  left = std::max(leftFloor, std::floor(left));
  right = std::max(rightFloor, std::floor(right));
  const double width = paperWidth - left - right;
  if (width < table) fit.scale = (width - kSlackPoints) / table;
  // A fresh layout: a printer's own minimum margins would refuse the narrower ones, and the
  // floor above is the limit that counts here.
  fit.layout =
      QPageLayout(requested.pageSize(), requested.orientation(),
                  QMarginsF(left, margins.top(), right, margins.bottom()), QPageLayout::Point);
  return fit;
}

PaperRenderer::PaperRenderer(const QStringList& pagePaths, const QPageLayout& requested,
                             QObject* parent)
    : QObject(parent),
      pagePaths_(AbsolutePaths(pagePaths)),
      pagePath_(pagePaths_.value(0)),
      requested_(requested),
      // A profile of its own, kept in memory: a run that replaced the pictures under the same
      // names must not be printed from what the preview has cached.
      profile_((RegisterPageScheme(), std::make_unique<QWebEngineProfile>())),
      page_(std::make_unique<PageFileOnly>(profile_.get(), PageUrl(pagePath_))) {
  // Served with its code page declared, so that the title and captions print as they read.
  ServePagesFrom(*profile_);
  UseSavedPageSettings(*page_->settings());
  // Only the page file's own load counts: a refused navigation reports a failed load of its own.
  connect(page_.get(), &QWebEnginePage::loadFinished, this, [this](bool loaded) {
    if (finished_ || measuring_) return;
    measuring_ = true;
    if (!loaded) {
      Fail(QString::fromStdString(messages::CannotOpenFile(pagePath_.toStdString())));
      return;
    }
    if (pagePaths_.size() > 1) {
      JoinPages();
    } else {
      Measure();
    }
  });
  // The first page that is missing (or none given) is reported.
  QString missing;
  for (const QString& path : pagePaths_) {
    if (!QFileInfo(path).isFile()) {
      missing = path;
      break;
    }
  }
  if (pagePaths_.isEmpty() || !missing.isEmpty()) {
    // Reported from the event loop, as every other outcome, once the caller has connected.
    QMetaObject::invokeMethod(
        this,
        [this, missing] {
          Fail(QString::fromStdString(messages::CannotOpenFile(missing.toStdString())));
        },
        Qt::QueuedConnection);
    return;
  }
  LoadSavedPage(*page_, pagePath_);
}

PaperRenderer::~PaperRenderer() = default;

void PaperRenderer::Fail(const QString& error) {
  if (finished_) return;
  finished_ = true;
  PaperOutcome outcome;
  outcome.error = error;
  emit Finished(outcome);
}

void PaperRenderer::JoinPages() {
  QString script;
  try {
    script = JoinPagesScript(pagePaths_.mid(1));
  } catch (const Error& e) {
    Fail(QString::fromStdString(e.what()));
    return;
  }
  page_->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                       [this](const QVariant&) { WaitForPictures(kPictureWaitTries); });
}

void PaperRenderer::WaitForPictures(int triesLeft) {
  page_->runJavaScript(PicturesSettledScript(), QWebEngineScript::ApplicationWorld,
                       [this, triesLeft](const QVariant& settled) {
                         if (settled.toBool() || triesLeft <= 1) {
                           Measure();
                         } else {
                           QTimer::singleShot(kPictureWaitMs, this, [this, triesLeft] {
                             WaitForPictures(triesLeft - 1);
                           });
                         }
                       });
}

void PaperRenderer::Measure() {
  page_->runJavaScript(
      AddStyleScript(QString::fromLatin1(kPaperStyle)), QWebEngineScript::ApplicationWorld,
      [this](const QVariant&) {
        page_->runJavaScript(
            QString::fromLatin1(kMeasureScript), QWebEngineScript::ApplicationWorld,
            [this](const QVariant& right) { Print(right.toDouble() * kMmPerCssPixel); });
      });
}

void PaperRenderer::Print(double tableWidthMm) {
  fit_ = FitToPaper(requested_, tableWidthMm);
  auto printNow = [this] {
    page_->printToPdf(
        [this](const QByteArray& pdf) {
          if (finished_) return;
          if (pdf.isEmpty()) {
            Fail(QString::fromStdString(messages::CannotPrint(pagePath_.toStdString())));
            return;
          }
          finished_ = true;
          PaperOutcome outcome;
          outcome.succeeded = true;
          outcome.pdf = pdf;
          outcome.fit = fit_;
          emit Finished(outcome);
        },
        fit_.layout);
  };
  if (fit_.scale >= 1) {
    printNow();
    return;
  }
  // Zoom lays the sheet out smaller, so the engine has nothing left to shrink or clip.
  const QString zoom = QStringLiteral("html { zoom: %1; }").arg(fit_.scale, 0, 'f', 6);
  page_->runJavaScript(AddStyleScript(zoom), QWebEngineScript::ApplicationWorld,
                       [printNow](const QVariant&) { printNow(); });
}

PaperOutcome RenderPaper(const QStringList& pagePaths, const QPageLayout& requested) {
  PaperRenderer renderer(pagePaths, requested);
  QEventLoop loop;
  PaperOutcome result;
  QObject::connect(&renderer, &PaperRenderer::Finished, &loop, [&](const PaperOutcome& outcome) {
    result = outcome;
    loop.quit();
  });
  loop.exec();
  return result;
}

void WritePdf(const QString& path, const QByteArray& pdf) {
  // QSaveFile writes beside the target and renames over it only on commit (after syncing), and
  // discards the bytes written so far when it goes out of scope uncommitted.
  QSaveFile file(path);
  const auto cannotCreate = [&path, &file] {
    return Error(ErrorKind::kOutput,
                 messages::CannotCreateFile(AbsolutePathLexically(path.toStdString()),
                                            file.errorString().toStdString()));
  };
  if (!file.open(QIODevice::WriteOnly)) throw cannotCreate();
  if (file.write(pdf) != pdf.size()) throw Error(ErrorKind::kOutput, messages::kStreamWrite);
  if (!file.commit()) {
    if (file.error() == QFileDevice::RenameError) throw cannotCreate();
    throw Error(ErrorKind::kOutput, messages::kStreamWrite);
  }
}

QString ScaleWarning(const PaperFit& fit) {
  if (fit.scale >= 1) return {};
  const QSizeF paper = fit.layout.fullRect(QPageLayout::Millimeter).size();
  return QStringLiteral(
             "the table is too wide for %1 x %2 mm paper even with 5 mm margins; "
             "printed at %3 %")
      .arg(paper.width(), 0, 'f', 0)
      .arg(paper.height(), 0, 'f', 0)
      .arg(fit.scale * 100, 0, 'f', 1);
}

}  // namespace picsheet
