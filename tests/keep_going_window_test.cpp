// The window's "Продолжать при ошибках" box: the real form under a headless platform runs a
// catalogue with a dead host and an error page against a real loopback server.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <filesystem>
#include <string>
#include <vector>

#include "app/core/error_message.h"
#include "app/core/run_flow.h"
#include "app/window/main_form.h"
#include "app/window/summary_text.h"
#include "app/window/windows1251.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_run.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/sample_site.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

constexpr int kRunTimeoutMs = 60000;

// Closes every message box that comes up, noting what it showed.
class BoxCloser {
 public:
  struct Seen {
    QMessageBox::Icon icon;
    QString text;
    QString details;
    bool detailsShown;
  };
  BoxCloser() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) continue;
        const QTextEdit* details = box->findChild<QTextEdit*>();
        seen.push_back({box->icon(), box->text(), box->detailedText(),
                        details != nullptr && details->isVisible()});
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer_.start(20);
  }
  std::vector<Seen> seen;

 private:
  QTimer timer_;
};

}  // namespace

class KeepGoingWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void checkBoxStartsClearAfterTheGapCellsBox();
  void tickedTheRunSavesThePageAndListsWhatWasLeftOut();
};

void KeepGoingWindowTest::checkBoxStartsClearAfterTheGapCellsBox() {
  MainForm form;
  form.show();
  auto* box = form.findChild<QCheckBox*>(QStringLiteral("cbKeepGoing"));
  QVERIFY(box != nullptr);
  QCOMPARE(box->text(), QStringLiteral("Продолжать при ошибках"));
  QVERIFY(!box->isChecked());
  QCOMPARE(box->parentWidget(), form.findChild<QGroupBox*>(QStringLiteral("GroupBox1")));
  QVERIFY(box->x() > form.findChild<QCheckBox*>(QStringLiteral("cbCells"))->x());
}

void KeepGoingWindowTest::tickedTheRunSavesThePageAndListsWhatWasLeftOut() {
  testkit::LoopbackServer server([](httplib::Server& s) { testkit::ServeSamplePictures(s); });
  testkit::TempDir folder;
  const std::string addresses[] = {server.Url("/pictures/p1.jpg"),
                                   "http://no-such-host.invalid/2.jpg",
                                   server.Url("/error-page.jpg"), server.Url("/pictures/p5.jpg")};
  testkit::WriteFileBytes(folder.File("list.htm"),
                          testkit::CataloguePage("T", testkit::NumberedCells(4, [&](int n) {
                                                   return addresses[n - 1];
                                                 })));

  MainForm form;
  std::filesystem::create_directory(folder.File("form"));
  form.SetProgramFolder(folder.path() + "/form");
  form.show();
  form.findChild<QLineEdit*>(QStringLiteral("urx"))
      ->setText(QString::fromStdString(folder.File("list.htm")));
  form.findChild<QLineEdit*>(QStringLiteral("edSession"))->setText(QStringLiteral("s"));
  BoxCloser closer;
  QSignalSpy ended(&form, &MainForm::RunEnded);
  auto* go = form.findChild<QPushButton*>(QStringLiteral("Button1"));

  // Unticked, the dead host ends the run as always.
  go->click();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), false);
  QCOMPARE(closer.seen.size(), std::size_t{1});
  QCOMPARE(closer.seen[0].icon, QMessageBox::Critical);

  form.findChild<QCheckBox*>(QStringLiteral("cbKeepGoing"))->setChecked(true);
  go->click();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);

  // The same run through the run flow alone, into a folder of its own.
  RunRequest request = testkit::FolderRequest(folder.File("list.htm"), folder.path(), "s");
  request.options.keepGoing = true;
  const testkit::FolderRun run = testkit::RunInFolder(request);
  QCOMPARE(QString::fromStdString(run.error), QString());
  QCOMPARE(run.state.summary.leftOut.size(), std::size_t{2});
  QStringList listed;
  for (const Error& error : run.state.summary.leftOut) {
    listed << DecodeMessageText(DescribeFailure(error));
  }

  QCOMPARE(closer.seen.size(), std::size_t{2});
  const BoxCloser::Seen& box = closer.seen[1];
  QCOMPARE(box.icon, QMessageBox::Warning);
  QCOMPARE(box.text, QStringLiteral("Пропущено изображений: 2"));
  QCOMPARE(box.details, listed.join(u'\n'));
  QVERIFY(box.details.contains(QStringLiteral("http://no-such-host.invalid/2.jpg")));
  QVERIFY(box.detailsShown);
  QCOMPARE(testkit::ReadFileBytes(folder.File("form/s.html")),
           testkit::ReadFileBytes(run.pagePath));
  QCOMPARE(form.findChild<QStatusBar*>(QStringLiteral("sb"))->toolTip(),
           SummaryText(run.state.summary));

  // Of several catalogues, one whose page cannot be had is left out and listed, each line
  // naming its catalogue.
  const std::string missing = folder.File("missing.htm");
  form.findChild<QLineEdit*>(QStringLiteral("urx"))
      ->setText(QString::fromStdString(folder.File("list.htm") + "; " + missing));
  go->click();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);
  QCOMPARE(closer.seen.size(), std::size_t{3});
  QCOMPARE(closer.seen[2].text, QStringLiteral("Пропущено каталогов: 1, изображений: 2"));
  const QStringList lines = closer.seen[2].details.split(u'\n');
  QCOMPARE(lines.size(), 3);
  QCOMPARE(lines[0], QString::fromStdString(folder.File("list.htm") + ": ") + listed[0]);
  QVERIFY(lines[2].startsWith(QString::fromStdString(missing + ": Cannot open file")));
}

}  // namespace picsheet

QTEST_MAIN(picsheet::KeepGoingWindowTest)
#include "keep_going_window_test.moc"
