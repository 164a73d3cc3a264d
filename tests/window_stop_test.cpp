// Stopping a run in the window: "Стоп" (Button1 during a run) and closing the window leave the
// output folder exactly as an older complete run of the same name left it.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "app/core/run_flow.h"
#include "app/window/main_form.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/folder_run.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

constexpr int kPictures = 24;
constexpr int kRunTimeoutMs = 60000;

// 24 pictures; series 1 holds every answer back for 300 ms and counts the answers under way.
class SlowSeriesServer {
 public:
  SlowSeriesServer()
      : pictures_{testkit::MakeFlatJpeg(12, 16), testkit::MakeFlatJpeg(16, 12)},
        server_([this](httplib::Server& s) {
          s.new_task_queue = [] { return new httplib::ThreadPool(8); };
          s.Get("/page.htm", [this](const httplib::Request&, httplib::Response& res) {
            const auto address = [this](int n) {
              return server_.Url("/p/" + std::to_string(n) + ".jpg");
            };
            res.set_content(testkit::CataloguePage("T", testkit::NumberedCells(kPictures, address)),
                            "text/html");
          });
          s.Get(R"(/p/\d+\.jpg)", [this](const httplib::Request&, httplib::Response& res) {
            const int series = series_.load();
            if (series == 1) {
              const int now = ++inFlight;
              int seen = mostInFlight.load();
              while (now > seen && !mostInFlight.compare_exchange_weak(seen, now)) {
              }
              std::this_thread::sleep_for(std::chrono::milliseconds(300));
              --inFlight;
            }
            res.set_content(pictures_[series], "image/jpeg");
          });
        }) {}

  void Serve(int series) { series_ = series; }
  std::string PageUrl() const { return server_.Url("/page.htm"); }
  std::atomic<int> inFlight{0};
  std::atomic<int> mostInFlight{0};

 private:
  const std::string pictures_[2];
  std::atomic<int> series_{0};
  testkit::LoopbackServer server_;
};

// An older complete run of the save name "cat" in folder, made with series 0: its error, if any.
std::string OlderRun(SlowSeriesServer& server, const std::string& folder) {
  RunRequest request = testkit::FolderRequest(server.PageUrl(), folder, "cat");
  request.options.orientation = Orientation::kNone;
  return testkit::RunInFolder(request).error;
}

// Starts a run of series 1 in form and waits until two or more pictures are under way.
void StartSlowRun(SlowSeriesServer& server, MainForm& form) {
  server.Serve(1);
  form.findChild<QLineEdit*>(QStringLiteral("urx"))
      ->setText(QString::fromStdString(server.PageUrl()));
  form.findChild<QLineEdit*>(QStringLiteral("edSession"))->setText(QStringLiteral("cat"));
  form.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
  QTRY_VERIFY_WITH_TIMEOUT(server.inFlight >= 2, kRunTimeoutMs);
}

}  // namespace

class WindowStopTest : public QObject {
  Q_OBJECT

 private slots:
  void stopLeavesTheOlderRunAsItWas_data();
  void stopLeavesTheOlderRunAsItWas();
  void closingLeavesTheOlderRunAsItWas();
  void destroyingTheNativeWindowStopsTheRunAndClosesIt();
};

void WindowStopTest::stopLeavesTheOlderRunAsItWas_data() {
  QTest::addColumn<bool>("byEscape");
  QTest::newRow("Стоп") << false;
  QTest::newRow("Esc") << true;
}

void WindowStopTest::stopLeavesTheOlderRunAsItWas() {
  QFETCH(bool, byEscape);
  SlowSeriesServer server;
  testkit::TempDir folder;
  QCOMPARE(QString::fromStdString(OlderRun(server, folder.path())), QString());
  const auto before = testkit::SnapshotFolder(folder.path());
  MainForm form;
  form.SetProgramFolder(folder.path());
  form.show();
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QSignalSpy ended(&form, &MainForm::RunEnded);
  StartSlowRun(server, form);
  auto* button = form.findChild<QPushButton*>(QStringLiteral("Button1"));
  QCOMPARE(button->text(), QStringLiteral("Стоп"));
  QVERIFY(button->isEnabled());
  if (byEscape) {
    QTest::keyClick(&form, Qt::Key_Escape);
  } else {
    button->click();
  }

  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), false);
  // The user asked for it: no message box, a status text instead.
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    QVERIFY(qobject_cast<QMessageBox*>(widget) == nullptr || !widget->isVisible());
  }
  QCOMPARE(form.statusBar()->findChild<QLabel*>()->text(), QStringLiteral("Остановлено"));
  QCOMPARE(button->text(), QStringLiteral("Go!"));
  QVERIFY(server.mostInFlight >= 2);
  QCOMPARE(testkit::SnapshotFolder(folder.path()), before);
}

void WindowStopTest::closingLeavesTheOlderRunAsItWas() {
  SlowSeriesServer server;
  testkit::TempDir folder;
  QCOMPARE(QString::fromStdString(OlderRun(server, folder.path())), QString());
  const auto before = testkit::SnapshotFolder(folder.path());
  auto* form = new MainForm;
  form->SetProgramFolder(folder.path());
  form->show();
  StartSlowRun(server, *form);

  const auto start = std::chrono::steady_clock::now();
  form->close();
  delete form;  // waits for the run, which stops at once
  QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(5));
  QCOMPARE(testkit::SnapshotFolder(folder.path()), before);
}

void WindowStopTest::destroyingTheNativeWindowStopsTheRunAndClosesIt() {
  SlowSeriesServer server;
  testkit::TempDir folder;
  QCOMPARE(QString::fromStdString(OlderRun(server, folder.path())), QString());
  const auto before = testkit::SnapshotFolder(folder.path());
  MainForm form;
  form.SetProgramFolder(folder.path());
  form.show();
  QSignalSpy ended(&form, &MainForm::RunEnded);
  StartSlowRun(server, form);

  // What the X server sends when another program destroys the window (xdotool windowclose).
  std::array<unsigned char, 32> destroyNotify{};
  destroyNotify[0] = 17;
  const auto window = static_cast<std::uint32_t>(form.internalWinId());
  std::memcpy(destroyNotify.data() + 8, &window, sizeof window);
  qintptr result = 0;
  QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t",
                                                          destroyNotify.data(), &result);

  QTRY_VERIFY(!form.isVisible());
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), false);
  QCOMPARE(testkit::SnapshotFolder(folder.path()), before);
}

}  // namespace picsheet

QTEST_MAIN(picsheet::WindowStopTest)
#include "window_stop_test.moc"
