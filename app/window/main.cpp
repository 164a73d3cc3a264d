// picsheet: the window program. Turns a catalogue page into a printable picture table.
#include <unistd.h>

#include <QApplication>

#include "app/window/application_title.h"
#include "app/window/main_form.h"

int main(int argc, char** argv) {
  // WebEngine's renderer sandbox refuses to start as root, and the preview with it.
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

  // The preview's renderer shares its GL context with the window's, when there is GL at all.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  // Taskbar entry and message box titles. Not the display name: that would be appended to
  // the window's own title.
  QApplication::setApplicationName(picsheet::ApplicationTitle());

  picsheet::MainForm window;
  window.show();
  return QApplication::exec();
}
