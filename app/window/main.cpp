// picsheet: the window program. Turns a catalogue page into a printable picture table.
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "app/window/application_title.h"
#include "app/window/info_options.h"
#include "app/window/main_form.h"
#include "app/window/pdf_export.h"
#include "app/window/window_start.h"

namespace {

// picsheet --export-pdf PAGE PDF: renders a saved page to PDF without a window, for
// picsheet-cli --pdf, which stays free of the web engine itself.
int ExportPdfWithoutWindow(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QString error;
  if (picsheet::ExportPdf(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                          error)) {
    return 0;
  }
  std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int status = picsheet::AnswerInfoOption(argc, argv); status >= 0) return status;
  // WebEngine's renderer sandbox refuses to start as root, and the preview with it.
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

  if (argc == 4 && std::strcmp(argv[1], "--export-pdf") == 0) {
    return ExportPdfWithoutWindow(argc, argv);
  }

  // The preview's renderer shares its GL context with the window's, when there is GL at all.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
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
