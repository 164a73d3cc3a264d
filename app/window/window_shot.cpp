// window_shot: fills in the window as a user would, runs one conversion, and saves a picture of
// the window once the preview has loaded. Makes the documentation's screenshot; not shipped.
//   window_shot SOURCE SAVE_NAME CELLS OUTPUT_FOLDER PICTURE.png
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>

#include "app/window/application_title.h"
#include "app/window/main_form.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: window_shot SOURCE SAVE_NAME CELLS OUTPUT_FOLDER PICTURE.png\n");
    return 2;
  }
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setApplicationName(picsheet::ApplicationTitle());
  const QString source = QString::fromLocal8Bit(argv[1]);
  const QString saveName = QString::fromLocal8Bit(argv[2]);
  const int cells = QString::fromLocal8Bit(argv[3]).toInt();
  const QString picture = QString::fromLocal8Bit(argv[5]);

  picsheet::MainForm window;
  window.SetProgramFolder(argv[4]);
  window.show();

  auto* preview = window.findChild<QWebEngineView*>(QStringLiteral("wb"));
  QObject::connect(&window, &picsheet::MainForm::RunEnded, [](bool succeeded) {
    if (!succeeded) QApplication::exit(1);
  });
  QObject::connect(preview, &QWebEngineView::loadFinished, [&window, picture](bool loaded) {
    if (!loaded) QApplication::exit(1);
    // Leaves the compositor time to put the loaded page on the screen.
    QTimer::singleShot(1500, [&window, picture] {
      const QPixmap shot = window.screen()->grabWindow(window.winId());
      QApplication::exit(shot.save(picture, "PNG") ? 0 : 1);
    });
  });
  QTimer::singleShot(120000, [] { QApplication::exit(1); });

  QTimer::singleShot(500, [&window, source, saveName, cells] {
    window.findChild<QLineEdit*>(QStringLiteral("urx"))->setText(source);
    window.findChild<QLineEdit*>(QStringLiteral("edSession"))->setText(saveName);
    window.findChild<QSpinBox*>(QStringLiteral("coln"))->setValue(cells);
    window.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
  });
  return QApplication::exec();
}
