// picsheet: the window program. Turns a catalogue page into a printable picture table.
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>

#include "app/window/application_title.h"
#include "app/window/info_options.h"
#include "app/window/main_form.h"
#include "app/window/paper_render.h"
#include "app/window/russian_dialogs.h"
#include "app/window/window_start.h"
#include "base/error.h"

namespace {

// What follows --export-pdf: the pages, the PDF as the last of them, and the paper.
struct PdfExport {
  QStringList pages;
  QString pdf;
  picsheet::Paper paper = picsheet::Paper::kA4;
};

// Reads argv from its third word; nothing when the words are not PAGE... PDF with at most
// "--paper a4|letter" among them.
std::optional<PdfExport> ReadPdfExport(int argc, char** argv) {
  PdfExport read;
  QStringList files;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--paper") == 0 && i + 1 < argc) {
      ++i;
      if (std::strcmp(argv[i], "a4") == 0) {
        read.paper = picsheet::Paper::kA4;
      } else if (std::strcmp(argv[i], "letter") == 0) {
        read.paper = picsheet::Paper::kLetter;
      } else {
        return std::nullopt;
      }
    } else if (std::strncmp(argv[i], "--", 2) == 0) {
      return std::nullopt;
    } else {
      files << QString::fromLocal8Bit(argv[i]);
    }
  }
  if (files.size() < 2) return std::nullopt;
  read.pdf = files.takeLast();
  read.pages = files;
  return read;
}

// picsheet --export-pdf PAGE... PDF [--paper a4|letter]: renders saved pages to one PDF without
// a window (each page from a new sheet), for picsheet-cli --pdf, which stays free of the web
// engine itself. A sheet that had to be scaled is reported on stderr as one line starting with
// "warning: ", which picsheet-cli passes on; the engine's own chatter there is not.
int ExportPdfWithoutWindow(int argc, char** argv, const PdfExport& job) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const picsheet::PaperOutcome outcome =
      picsheet::RenderPaper(job.pages, picsheet::PaperLayout(job.paper));
  try {
    if (!outcome.succeeded)
      throw picsheet::Error(picsheet::ErrorKind::kOther, outcome.error.toStdString());
    picsheet::WritePdf(job.pdf, outcome.pdf);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  const QString warning = picsheet::ScaleWarning(outcome.fit);
  if (!warning.isEmpty()) std::fprintf(stderr, "warning: %s\n", warning.toLocal8Bit().constData());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int status = picsheet::AnswerInfoOption(argc, argv); status >= 0) return status;
  // WebEngine's renderer sandbox refuses to start as root, and the preview with it.
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

  if (argc >= 4 && std::strcmp(argv[1], "--export-pdf") == 0) {
    // Read before Qt takes its own options out of argv.
    if (const std::optional<PdfExport> job = ReadPdfExport(argc, argv)) {
      return ExportPdfWithoutWindow(argc, argv, *job);
    }
    std::fprintf(stderr, "Usage: picsheet --export-pdf PAGE... PDF [--paper a4|letter]\n");
    return 2;
  }

  // The preview's renderer shares its GL context with the window's, when there is GL at all.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  picsheet::InstallRussianDialogs(app);
  // Taskbar entry and message box titles. Not the display name: that would be appended to
  // the window's own title.
  QApplication::setApplicationName(picsheet::ApplicationTitle());
  // The desktop entry's name lets a Wayland shell match the window to its entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.picsheet.picsheet"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("picsheet")));

  // Qt has taken its own options out of the arguments by now.
  const auto window = picsheet::StartWindow(QCoreApplication::arguments());
  return QApplication::exec();
}
