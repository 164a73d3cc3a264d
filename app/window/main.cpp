// picsheet: the window program. Turns a catalogue page into a printable picture table.
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>
#include <exception>

#include "app/window/application_title.h"
#include "app/window/info_options.h"
#include "app/window/main_form.h"
#include "app/window/paper_render.h"
#include "app/window/russian_dialogs.h"
#include "app/window/window_start.h"
#include "base/error.h"

namespace {

// picsheet --export-pdf PAGE PDF [--paper a4|letter]: renders a saved page to PDF without a
// window, for picsheet-cli --pdf, which stays free of the web engine itself. A sheet that had to
// be scaled is reported on stderr as one line starting with "warning: ", which picsheet-cli
// passes on; the engine's own chatter there is not.
int ExportPdfWithoutWindow(int argc, char** argv, picsheet::Paper paper) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const picsheet::PaperOutcome outcome =
      picsheet::RenderPaper(QString::fromLocal8Bit(argv[2]), picsheet::PaperLayout(paper));
  try {
    if (!outcome.succeeded)
      throw picsheet::Error(picsheet::ErrorKind::kOther, outcome.error.toStdString());
    picsheet::WritePdf(QString::fromLocal8Bit(argv[3]), outcome.pdf);
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
    if (argc == 4) return ExportPdfWithoutWindow(argc, argv, picsheet::Paper::kA4);
    if (argc == 6 && std::strcmp(argv[4], "--paper") == 0) {
      if (std::strcmp(argv[5], "a4") == 0) {
        return ExportPdfWithoutWindow(argc, argv, picsheet::Paper::kA4);
      }
      if (std::strcmp(argv[5], "letter") == 0) {
        return ExportPdfWithoutWindow(argc, argv, picsheet::Paper::kLetter);
      }
    }
    std::fprintf(stderr, "Usage: picsheet --export-pdf PAGE PDF [--paper a4|letter]\n");
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
