// The window end to end: the real form under a headless platform, runs against a real loopback
// HTTP server serving real JPEG files, the page and pictures checked on disk.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWheelEvent>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/error_message.h"
#include "app/core/output_folder.h"
#include "app/core/run_flow.h"
#include "app/core/session_name.h"
#include "app/window/application_title.h"
#include "app/window/documents_folder.h"
#include "app/window/main_form.h"
#include "app/window/option_strip.h"
#include "app/window/page_scheme.h"
#include "app/window/preview_pane.h"
#include "app/window/russian_dialogs.h"
#include "app/window/source_text.h"
#include "app/window/summary_text.h"
#include "app/window/window_start.h"
#include "app/window/windows1251.h"
#include "convert/source.h"
#include "tests/testkit/catalogue_fakes.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_run.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/sample_site.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::Cell;
using testkit::LoopbackServer;
using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;

constexpr int kRunTimeoutMs = 60000;
const std::string kPictures = std::string(PICSHEET_EXAMPLES) + "/pictures/";

// "Серия 3" as the catalogue pages carry it, in Windows-1251.
const std::string kTitle1251 = "\xD1\xE5\xF0\xE8\xFF 3";

template <typename Widget>
Widget* Find(const MainForm& form, const char* name) {
  return form.findChild<Widget*>(QString::fromLatin1(name));
}

// The label whose buddy is field.
QLabel* LabelOf(const MainForm& form, const QWidget* field) {
  for (QLabel* label : form.findChildren<QLabel*>()) {
    if (label->buddy() == field) return label;
  }
  return nullptr;
}

QRect InWindow(const QWidget* widget) {
  return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

// What a run shows through the toolkit-free run flow alone (RecordingView): the reference the
// window's pane, status bar and saved page are compared with.
testkit::FolderRun RunReference(const std::string& source, const std::string& saveName,
                                const std::string& folder, const CatalogueOptions& options) {
  RunRequest request = testkit::FolderRequest(source, folder, saveName);
  request.options = options;
  return testkit::RunInFolder(request);
}

std::string JoinedWithCrLf(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes;
}

// The pane's text for lines: one paragraph per line, a line's own CR LF a line break.
QString PaneTextOf(const std::vector<std::string>& lines) {
  QStringList paragraphs;
  for (const std::string& line : lines) {
    paragraphs << TextFromWindows1251(line).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  }
  return paragraphs.join(u'\n');
}

std::string FileOpenMessage(const std::string& path) {
  std::string pageText;
  try {
    LoadSource(path, pageText);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(the file opened)";
}

// What script gives in the application's world of the view's page, where it runs while the
// page's own scripts are off; invalid when no answer came.
QVariant Evaluate(QWebEngineView* view, const QString& script) {
  auto result = std::make_shared<std::optional<QVariant>>();
  view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                              [result](const QVariant& value) { *result = value; });
  if (!QTest::qWaitFor([&result] { return result->has_value(); }, kRunTimeoutMs)) return {};
  return result->value();
}

// Closes every message box that comes up with its OK button, noting what each showed.
class MessageBoxCloser {
 public:
  struct Seen {
    QString text;
    QString detail;  // the detailed text
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
  };

  MessageBoxCloser() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) continue;
        seen.push_back({box->text(), box->detailedText(), box->windowTitle(), box->icon(),
                        box->standardButtons()});
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer_.start(20);
  }

  std::vector<Seen> seen;

 private:
  QTimer timer_;
};

// The window shown with its runs going to a temporary folder.
class ShownForm {
 public:
  ShownForm() {
    form.SetProgramFolder(folder.path());
    form.show();
    form.activateWindow();
    active = QTest::qWaitForWindowActive(&form);
  }

  void Go() { Find<QPushButton>(form, "Button1")->click(); }
  QLineEdit* urx() { return Find<QLineEdit>(form, "urx"); }
  QLineEdit* edSession() { return Find<QLineEdit>(form, "edSession"); }
  QPlainTextEdit* mm() { return Find<QPlainTextEdit>(form, "mm"); }
  QWebEngineView* wb() { return Find<QWebEngineView>(form, "wb"); }
  QString statusText() { return Find<QStatusBar>(form, "sb")->findChild<QLabel*>()->text(); }
  std::size_t FilesInFolder() const {
    return static_cast<std::size_t>(std::distance(
        std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()));
  }

  TempDir folder;
  MainForm form;
  bool active = false;  // focus follows only in the active window
};

// Serves /pictures/NAME from the sample pictures, /error-page.jpg as a 404 page, /slow.jpg only
// once released, and /pages/... as the page set by the test.
class CatalogueServer {
 public:
  CatalogueServer()
      : server_([this](httplib::Server& s) {
          testkit::ServeSamplePictures(s);
          s.Get("/slow.jpg", [this](const httplib::Request&, httplib::Response& res) {
            slowRequested = true;
            for (int i = 0; i < 3000 && !slowReleased; ++i) {
              std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            res.set_content(ReadFileBytes(kPictures + "p1.jpg"), "image/jpeg");
          });
          s.Get(R"(/pages/(.+))", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page, "text/html");
          });
        }) {}
  ~CatalogueServer() { slowReleased = true; }

  std::string Url(const std::string& path) const { return server_.Url(path); }
  std::string Picture(const std::string& name) const { return Url("/pictures/" + name); }

  std::string page;
  std::atomic<bool> slowRequested{false};
  std::atomic<bool> slowReleased{false};

 private:
  LoopbackServer server_;
};

// Sets an environment variable (unsets it for nullptr) and restores it afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)) {
    old_ = qgetenv(name);
    if (value != nullptr) {
      qputenv(name, value);
    } else {
      qunsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (had_) {
      qputenv(name_, old_);
    } else {
      qunsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

// Makes a folder one may not write into, for the time of a test. Root passes permission checks,
// so for root the folder is marked immutable (as chattr +i does), which access(2) honours too.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::string& folder) : folder_(folder) {
    if (::geteuid() != 0) {
      ::chmod(folder_.c_str(), 0555);
      return;
    }
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      immutable_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (fd >= 0) ::close(fd);
  }
  ~UnwritableFolder() {
    if (!immutable_) {
      ::chmod(folder_.c_str(), 0755);
      return;
    }
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) ::close(fd);
  }
  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;

 private:
  std::string folder_;
  bool immutable_ = false;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithEveryControlInItsStartState();
  void optionsAreWhatTheStripsControlsHold();
  void fieldsStandUnderTheirLabelsInTheirOrder();
  void splitterSharesTheWidthBetweenThePanes();
  void aNarrowWindowWrapsTheOptionsAndCutsNothingOff();
  void printButtonsWrapTogether();
  void programFolderIsTheExecutablesFolder();
  void readOnlyProgramFolderWritesIntoDocumentsAndShowsIt();
  void documentsFolderIsTheOneTheDesktopNames();
  void previewRunsNoScriptsPluginsOrRemoteLoads();
  void previewReadsPagesWithoutACharsetAsWindows1251();
  void previewOfASavedPageLoadsNothingRemote();
  void applicationTitleIsTheProgramNameWithTheRestInLowerCase();
  void qtOwnButtonsSpeakRussian();

  void sourceChangeDerivesSaveNameAndSelectsItInFocus();
  void sourceChangeOverwritesTypedSaveNameButClearingKeepsIt();
  void typingKeyByKeyStaysInTheSourceField();
  void enterInEitherFieldOrOnGoStartsARun();
  void mnemonicsUnderlineTheirLetterAndAltGPressesGo();
  void aDroppedFileOrLinkFillsTheSource();
  void aPasteOfLinesGivesOneSourceALine();
  void dotsButtonAndCtrlOOpenAFileAsADropDoes();
  void aSourceOnTheCommandLineFillsTheField();
  void digitCaptionsShowTheirPictures();
  void previewFitsThePageWidthAndZoomsOnlyTheScreen();
  void selectionOfSaveNameStaysWhenFocusLeaves();

  void goShowsLinesSavesPageBytesAndPreviewsIt();
  void cyrillicSaveNameWorksInTheSavedPageAndThePreview();
  void saveNameThatWindows1251CannotHoldShowsAMessageAndRunsNothing();
  void controlsAreDisabledDuringARunAndEnabledAfter();
  void closingDuringARunEndsItsDownloadsAndWaitsForIt();
  void missingFileShowsItsMessageInAStopBox();
  void emptySourceFailsAsAFileAndSavesNothing();
  void pictureErrorKeepsLinesWritesNoPageAndWindowStaysUsable();
  void aDropOfTwoCataloguesRunsBothInTurn();
};

void WindowTest::startsWithEveryControlInItsStartState() {
  ShownForm shown;
  const MainForm& form = shown.form;
  QCOMPARE(form.windowTitle(), QStringLiteral("Form1"));
  QCOMPARE(form.size(), QSize(870, 480));
  // Nothing to print before a run saved a page.
  QCOMPARE(Find<QPushButton>(form, "btnPrint")->text(), QStringLiteral("Печать…"));
  QCOMPARE(Find<QPushButton>(form, "btnPdf")->text(), QStringLiteral("PDF…"));
  QVERIFY(!Find<QPushButton>(form, "btnPrint")->isEnabled());
  QVERIFY(!Find<QPushButton>(form, "btnPdf")->isEnabled());

  auto* speed = Find<QToolButton>(form, "SpeedButton1");
  QVERIFY(speed != nullptr);
  QCOMPARE(speed->text(), QStringLiteral("..."));
  QVERIFY(speed->isEnabled());

  auto* urx = Find<QLineEdit>(form, "urx");
  QVERIFY(urx != nullptr);
  QVERIFY(urx->text().isEmpty());
  QCOMPARE(urx->width(), 273);

  auto* coln = Find<QSpinBox>(form, "coln");
  QVERIFY(coln != nullptr);
  QCOMPARE(coln->value(), 10);
  QCOMPARE(coln->minimum(), 2);
  QCOMPARE(coln->maximum(), 20);
  QCOMPARE(coln->singleStep(), 1);
  QCOMPARE(coln->width(), 49);

  auto* bxPass = Find<QCheckBox>(form, "bxPass");
  QVERIFY(bxPass != nullptr);
  QCOMPARE(bxPass->text(), QStringLiteral("пропускать"));
  QVERIFY(!bxPass->isChecked());

  const struct {
    const char* name;
    QString caption;
    bool checked;
  } radios[] = {{"rbVert", QStringLiteral("верт"), true},
                {"rbHoriz", QStringLiteral("гориз"), false},
                {"rbNone", QStringLiteral("умлч"), false},
                {"rbCW", QStringLiteral("CW"), true},
                {"rbCCW", QStringLiteral("CCW"), false}};
  for (const auto& radio : radios) {
    auto* button = Find<QRadioButton>(form, radio.name);
    QVERIFY2(button != nullptr, radio.name);
    QCOMPARE(button->text(), radio.caption);
    QCOMPARE(button->isChecked(), radio.checked);
    QVERIFY(button->isEnabled());
  }

  auto* edSession = Find<QLineEdit>(form, "edSession");
  QVERIFY(edSession != nullptr);
  QVERIFY(edSession->text().isEmpty());
  QCOMPARE(edSession->width(), 161);

  auto* go = Find<QPushButton>(form, "Button1");
  QVERIFY(go != nullptr);
  QCOMPARE(go->text(), QStringLiteral("Go!"));
  QVERIFY(go->isEnabled());

  auto* group = Find<QGroupBox>(form, "GroupBox1");
  QVERIFY(group != nullptr);
  QCOMPARE(group->title(), QStringLiteral("Форматирование"));
  const struct {
    const char* name;
    QString caption;
    bool checked;
  } boxes[] = {{"cbSirian", QStringLiteral("Добавлять сирийские номера"), false},
               {"cbCovers", QStringLiteral("Обертки (номер 0) - в конец"), true},
               {"cbCells", QStringLiteral("Оставлять ячейки для пропусков"), true}};
  for (const auto& box : boxes) {
    auto* check = Find<QCheckBox>(form, box.name);
    QVERIFY2(check != nullptr, box.name);
    QCOMPARE(check->parentWidget(), group);
    QCOMPARE(check->text(), box.caption);
    QCOMPARE(check->isChecked(), box.checked);
  }

  auto* mm = Find<QPlainTextEdit>(form, "mm");
  QVERIFY(mm != nullptr);
  QVERIFY(mm->toPlainText().isEmpty());
  QVERIFY(!mm->isReadOnly());
  QCOMPARE(mm->width(), 433);
  QCOMPARE(mm->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QCOMPARE(mm->lineWrapMode(), QPlainTextEdit::WidgetWidth);

  auto* splitter = Find<QSplitter>(form, "Splitter1");
  QVERIFY(splitter != nullptr);
  auto* wb = Find<QWebEngineView>(form, "wb");
  QVERIFY(wb != nullptr);
  QCOMPARE(splitter->orientation(), Qt::Horizontal);
  QCOMPARE(splitter->count(), 2);
  QCOMPARE(splitter->widget(0), mm);
  QCOMPARE(splitter->widget(1), wb);
  QVERIFY(wb->url().isEmpty());  // blank until the first run

  auto* sb = Find<QStatusBar>(form, "sb");
  QVERIFY(sb != nullptr);
  QCOMPARE(form.statusBar(), sb);
  QVERIFY(shown.statusText().isEmpty());
}

void WindowTest::optionsAreWhatTheStripsControlsHold() {
  OptionStrip strip;
  const CatalogueOptions start = strip.options();
  QCOMPARE(start.cellsPerRow, 10);
  QVERIFY(start.orientation == Orientation::kVertical && start.turn == Turn::kClockwise);
  strip.findChild<QSpinBox*>(QStringLiteral("coln"))->setValue(4);
  strip.findChild<QRadioButton*>(QStringLiteral("rbHoriz"))->setChecked(true);
  strip.findChild<QRadioButton*>(QStringLiteral("rbCCW"))->setChecked(true);
  strip.findChild<QCheckBox*>(QStringLiteral("cbCovers"))->setChecked(false);
  const CatalogueOptions changed = strip.options();
  QCOMPARE(changed.cellsPerRow, 4);
  QVERIFY(changed.orientation == Orientation::kHorizontal);
  QVERIFY(changed.turn == Turn::kCounterClockwise);
  QVERIFY(!changed.holdBackCovers && changed.gapCells && !changed.skipRepeats);
  strip.findChild<QRadioButton*>(QStringLiteral("rbNone"))->setChecked(true);
  QVERIFY(strip.options().orientation == Orientation::kNone);
}

void WindowTest::fieldsStandUnderTheirLabelsInTheirOrder() {
  ShownForm shown;
  const MainForm& form = shown.form;
  const struct {
    const char* field;
    QString label;
  } labelled[] = {{"urx", QStringLiteral("Путь или ссылка")},
                  {"coln", QStringLiteral("В строке")},
                  {"bxPass", QStringLiteral("Дубликаты")},
                  {"rbVert", QStringLiteral("Ориентация")},
                  {"rbCW", QStringLiteral("Поворачивать")},
                  {"edSession", QStringLiteral("Имя для сохранения")}};
  for (const auto& entry : labelled) {
    auto* field = Find<QWidget>(form, entry.field);
    QLabel* label = LabelOf(form, field);
    QVERIFY2(label != nullptr, entry.field);
    QCOMPARE(label->text(), entry.label);
    QVERIFY2(InWindow(label).bottom() < InWindow(field).top(), entry.field);
  }

  // First line, left to right.
  const char* firstLine[] = {"urx",    "coln", "bxPass", "rbVert",    "rbHoriz",
                             "rbNone", "rbCW", "rbCCW",  "edSession", "Button1"};
  for (std::size_t i = 1; i < std::size(firstLine); ++i) {
    const QRect left = InWindow(Find<QWidget>(form, firstLine[i - 1]));
    const QRect right = InWindow(Find<QWidget>(form, firstLine[i]));
    QVERIFY2(left.right() < right.left(), firstLine[i]);
    QVERIFY2(left.top() < right.bottom() && right.top() < left.bottom(), firstLine[i]);
  }
  QVERIFY(InWindow(Find<QWidget>(form, "Button1")).right() < form.width());
  // The source field's button at its left end, the text beginning after it.
  const QRect speed = InWindow(Find<QWidget>(form, "SpeedButton1"));
  const QRect urx = InWindow(Find<QWidget>(form, "urx"));
  QVERIFY(urx.contains(speed));
  QVERIFY(speed.left() - urx.left() <= 2);
  QVERIFY(Find<QLineEdit>(form, "urx")->textMargins().left() >= speed.width());

  // The group box on the second line, across the strip; its boxes left to right.
  const QRect group = InWindow(Find<QWidget>(form, "GroupBox1"));
  QVERIFY(InWindow(Find<QWidget>(form, "urx")).bottom() < group.top());
  QVERIFY(group.width() > form.width() * 3 / 4);
  const char* boxes[] = {"cbSirian", "cbCovers", "cbCells"};
  for (std::size_t i = 1; i < std::size(boxes); ++i) {
    QVERIFY(InWindow(Find<QWidget>(form, boxes[i - 1])).right() <
            InWindow(Find<QWidget>(form, boxes[i])).left());
  }

  // The strip, then the main area, then the status bar, each across the full width.
  const QRect area = InWindow(Find<QWidget>(form, "Splitter1"));
  const QRect status = InWindow(Find<QWidget>(form, "sb"));
  QVERIFY(group.bottom() < area.top());
  QVERIFY(area.bottom() < status.top());
  QCOMPARE(area.width(), form.width());
  QCOMPARE(status.width(), form.width());
  QVERIFY(InWindow(shown.mm()).right() < InWindow(shown.wb()).left());
}

void WindowTest::splitterSharesTheWidthBetweenThePanes() {
  ShownForm shown;
  auto* splitter = Find<QSplitter>(shown.form, "Splitter1");
  QWidget* handle = splitter->handle(1);
  const int paneBefore = shown.mm()->width();
  const int previewBefore = shown.wb()->width();
  const QPoint grip(handle->width() / 2, handle->height() / 2);

  QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, grip);
  QTest::mouseMove(handle, grip + QPoint(120, 0));
  QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, grip + QPoint(120, 0));

  QTRY_COMPARE(shown.mm()->width(), paneBefore + 120);
  QCOMPARE(shown.wb()->width(), previewBefore - 120);
}

void WindowTest::aNarrowWindowWrapsTheOptionsAndCutsNothingOff() {
  ShownForm shown;
  // A 1280-pixel screen, at whatever scale the test runs (window_test_large_font: 150 %).
  const int screen = static_cast<int>(1280 / shown.form.devicePixelRatioF());
  QVERIFY(shown.form.minimumSizeHint().width() <= screen);
  const char* controls[] = {"urx",       "coln",    "bxPass",   "rbVert",  "rbNone",   "rbCCW",
                            "edSession", "Button1", "cbSirian", "cbCells", "btnPrint", "btnPdf"};
  for (const int width : {screen, 560}) {
    shown.form.resize(width, 480);
    QTRY_COMPARE(shown.form.width(), width);
    QTest::qWait(50);
    const QRect strip = InWindow(Find<QWidget>(shown.form, "GroupBox1")->parentWidget());
    for (const char* name : controls) {
      const QRect control = InWindow(Find<QWidget>(shown.form, name));
      QVERIFY2(strip.contains(control), name);
      QVERIFY2(control.right() < width, name);
    }
    QVERIFY(InWindow(Find<QWidget>(shown.form, "GroupBox1"))
                .contains(InWindow(Find<QWidget>(shown.form, "btnPdf"))));
    QVERIFY(strip.bottom() < InWindow(Find<QWidget>(shown.form, "Splitter1")).top());
  }
}

void WindowTest::printButtonsWrapTogether() {
  ShownForm shown;
  // At every width the strip may wrap at, "Печать…" and "PDF…" stay side by side on one row.
  for (int width = 560; width <= 1280; width += 20) {
    shown.form.resize(width, 480);
    QTRY_COMPARE(shown.form.width(), width);
    const QRect print = InWindow(Find<QWidget>(shown.form, "btnPrint"));
    const QRect pdf = InWindow(Find<QWidget>(shown.form, "btnPdf"));
    QVERIFY2(print.top() == pdf.top() && print.right() < pdf.left(),
             qPrintable(QString::number(width)));
  }
}

void WindowTest::programFolderIsTheExecutablesFolder() {
  MainForm form;
  QCOMPARE(QString::fromStdString(form.programFolder()),
           QCoreApplication::applicationDirPath() + u'/');
  TempDir folder;
  form.SetProgramFolder(folder.path());
  QCOMPARE(form.programFolder(), folder.path() + "/");
  // Writing beside the program needs no word in the status bar.
  QVERIFY(Find<QLabel>(form, "sbFolder")->isHidden());
}

void WindowTest::readOnlyProgramFolderWritesIntoDocumentsAndShowsIt() {
  TempDir program;
  const UnwritableFolder unwritable(program.path());
  if (FolderIsWritable(program.path())) QSKIP("no way here to make a folder unwritable");
  TempDir home;
  const ScopedVariable homeVariable("HOME", home.path().c_str());
  const ScopedVariable config("XDG_CONFIG_HOME", nullptr);
  std::filesystem::create_directories(home.File(".config"));
  testkit::WriteFileBytes(home.File(".config/user-dirs.dirs"),
                          "XDG_DOCUMENTS_DIR=\"$HOME/Документы\"\n");

  MainForm form;
  form.SetProgramFolder(program.path());
  const std::string expected = home.File("Документы/picsheet/");
  QCOMPARE(form.programFolder(), expected);
  form.show();
  auto* shown = Find<QLabel>(form, "sbFolder");
  QVERIFY(shown->isVisible());
  QCOMPARE(shown->text(), QString::fromStdString(expected));

  CatalogueServer server;
  server.page = testkit::CataloguePage("T", Cell("1", server.Picture("p1.jpg")));
  Find<QLineEdit>(form, "urx")->setText(QString::fromStdString(server.Url("/pages/list.htm")));
  Find<QLineEdit>(form, "edSession")->setText(QStringLiteral("list"));
  QSignalSpy ended(&form, &MainForm::RunEnded);
  Find<QPushButton>(form, "Button1")->click();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);
  QVERIFY(PathExists(expected + "list.html"));
  QVERIFY(PathExists(expected + "list_images/00000001_1.jpg"));
  QVERIFY(std::filesystem::is_empty(program.path()));
}

void WindowTest::documentsFolderIsTheOneTheDesktopNames() {
  struct {
    const char* what;
    const char* userDirs;   // ~/.config/user-dirs.dirs, or nullptr for none
    bool movedConfig;       // XDG_CONFIG_HOME set to ~/cfg, where the file then is
    const char* documents;  // under the home folder
  } const cases[] = {
      {"no user-dirs file", nullptr, false, "Documents/"},
      {"a folder of the user's language", "XDG_DOCUMENTS_DIR=\"$HOME/Документы\"\n", false,
       "Документы/"},
      {"among the other folders", "XDG_MUSIC_DIR=\"$HOME/m\"\nXDG_DOCUMENTS_DIR=\"$HOME/d\"\n",
       false, "d/"},
      {"XDG_CONFIG_HOME moves the file", "XDG_DOCUMENTS_DIR=\"$HOME/moved\"\n", true, "moved/"},
  };
  for (const auto& c : cases) {
    TempDir home;
    const ScopedVariable homeVariable("HOME", home.path().c_str());
    const std::string config = home.File(c.movedConfig ? "cfg" : ".config");
    const ScopedVariable configVariable("XDG_CONFIG_HOME",
                                        c.movedConfig ? config.c_str() : nullptr);
    std::filesystem::create_directories(config);
    if (c.userDirs) testkit::WriteFileBytes(config + "/user-dirs.dirs", c.userDirs);
    // With XDG_CONFIG_HOME set, a file in ~/.config must not count.
    if (c.movedConfig) {
      std::filesystem::create_directories(home.File(".config"));
      testkit::WriteFileBytes(home.File(".config/user-dirs.dirs"),
                              "XDG_DOCUMENTS_DIR=\"$HOME/wrong\"\n");
    }
    QVERIFY2(DocumentsFolder() == home.File(c.documents), c.what);
  }
}

void WindowTest::previewRunsNoScriptsPluginsOrRemoteLoads() {
  MainForm form;
  QWebEngineSettings* settings = Find<QWebEngineView>(form, "wb")->settings();
  QVERIFY(!settings->testAttribute(QWebEngineSettings::JavascriptEnabled));
  QVERIFY(!settings->testAttribute(QWebEngineSettings::PluginsEnabled));
  QVERIFY(!settings->testAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls));
  QVERIFY(settings->testAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls));
}

void WindowTest::previewOfASavedPageLoadsNothingRemote() {
  // A title copied from a foreign page can carry markup that points at the network.
  std::atomic<int> requests{0};
  LoopbackServer server([&requests](httplib::Server& s) {
    s.Get(R"(/.*)", [&requests](const httplib::Request&, httplib::Response& res) {
      ++requests;
      res.set_content(ReadFileBytes(kPictures + "p1.jpg"), "image/jpeg");
    });
  });
  TempDir folder;
  testkit::WriteFileBytes(folder.File("p1.jpg"), ReadFileBytes(kPictures + "p1.jpg"));
  const std::string page = folder.File("remote.html");
  testkit::WriteFileBytes(page, "<html><body><center><b>T<img src=\"" + server.Url("/a.jpg") +
                                    "\"></b></center><img src=\"p1.jpg\"></body></html>");
  MainForm form;
  auto* preview = Find<PreviewPane>(form, "wb");
  QSignalSpy loaded(preview, &QWebEngineView::loadFinished);
  preview->ShowFile(QString::fromStdString(page));
  QVERIFY(loaded.wait(kRunTimeoutMs));
  QVariant seen;
  preview->page()->runJavaScript(
      QStringLiteral("Array.from(document.images, i => i.naturalWidth > 0).join()"),
      QWebEngineScript::ApplicationWorld, [&seen](const QVariant& result) { seen = result; });
  QTRY_VERIFY_WITH_TIMEOUT(seen.isValid(), kRunTimeoutMs);
  QCOMPARE(seen.toString(), QStringLiteral("false,true"));
  QCOMPARE(requests.load(), 0);
}

// The text of the first <b> of the page the preview shows.
QString PreviewedTitle(QWebEngineView& view) {
  QVariant seen;
  view.page()->runJavaScript(QStringLiteral("document.querySelector('b').textContent"),
                             QWebEngineScript::ApplicationWorld,
                             [&seen](const QVariant& result) { seen = result; });
  if (!QTest::qWaitFor([&seen] { return seen.isValid(); }, kRunTimeoutMs)) return {};
  return seen.toString();
}

void WindowTest::previewReadsPagesWithoutACharsetAsWindows1251() {
  // Two letters alone, too few for the engine to guess the code page right; a page that is valid
  // UTF-8 as a whole is read as UTF-8, as its names on disk are kept.
  for (const std::string title : {"\xA8\xE6", "Ёж"}) {
    TempDir folder;
    const std::string page = folder.File("short.html");
    testkit::WriteFileBytes(page,
                            "<html><body><center><b>" + title + "</b></center></body></html>");
    MainForm form;
    auto* preview = Find<PreviewPane>(form, "wb");
    QSignalSpy loaded(preview, &QWebEngineView::loadFinished);
    preview->ShowFile(QString::fromStdString(page));
    QVERIFY(loaded.wait(kRunTimeoutMs));
    QCOMPARE(PreviewedTitle(*preview), QStringLiteral("Ёж"));
  }
}

void WindowTest::applicationTitleIsTheProgramNameWithTheRestInLowerCase() {
  QCOMPARE(ApplicationTitle(QStringLiteral("/opt/tools/PicSheet.Beta.bin")),
           QStringLiteral("Picsheet"));
  QCOMPARE(ApplicationTitle(QStringLiteral("/usr/bin/picsheet")), QStringLiteral("picsheet"));
  QCOMPARE(ApplicationTitle(QStringLiteral("ИМЯ.x")), QStringLiteral("Имя"));
  QCOMPARE(ApplicationTitle(QStringLiteral("/a/.hidden")), QString());
  QCOMPARE(ApplicationTitle(), QStringLiteral("window_test"));
}

void WindowTest::qtOwnButtonsSpeakRussian() {
  QVERIFY(InstallRussianDialogs(*QCoreApplication::instance()));
  QMessageBox box(QMessageBox::Critical, QStringLiteral("t"), QStringLiteral("m"),
                  QMessageBox::Ok | QMessageBox::Cancel);
  QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Отмена"));
}

void WindowTest::sourceChangeDerivesSaveNameAndSelectsItInFocus() {
  ShownForm shown;
  QVERIFY(shown.active);
  const std::string link = "http://host:8080/a.htm";
  shown.urx()->setFocus();
  shown.urx()->setText(QString::fromStdString(link));  // a paste: one change
  QCOMPARE(shown.edSession()->text(), QString::fromStdString(DeriveSessionName(link)));
  QCOMPARE(shown.edSession()->text(), QStringLiteral("8080ahtm"));
  QCOMPARE(shown.form.focusWidget(), shown.edSession());
  QVERIFY(shown.edSession()->hasFocus());
  QCOMPARE(shown.edSession()->selectedText(), shown.edSession()->text());
  QCOMPARE(shown.urx()->text(), QString::fromStdString(link));
}

void WindowTest::sourceChangeOverwritesTypedSaveNameButClearingKeepsIt() {
  ShownForm shown;
  QVERIFY(shown.active);
  shown.edSession()->setFocus();
  QTest::keyClicks(shown.edSession(), "mine");
  QCOMPARE(shown.edSession()->text(), QStringLiteral("mine"));

  // A typed name goes with the next change of the source.
  const QString path = QStringLiteral("C:\\pages\\Серия 12.htm");
  shown.urx()->setText(path);
  QCOMPARE(shown.edSession()->text(), QStringLiteral("12htm"));

  shown.edSession()->setText(QStringLiteral("typed again"));
  shown.urx()->clear();
  QCOMPARE(shown.edSession()->text(), QStringLiteral("typed again"));
}

void WindowTest::typingKeyByKeyStaysInTheSourceField() {
  ShownForm shown;
  QVERIFY(shown.active);
  shown.urx()->setFocus();
  // Every key goes where the focus is, as a keyboard's would.
  for (const char key : std::string("http://host:8080/a.htm")) {
    QTest::keyClick(QApplication::focusWidget(), key);
  }
  QCOMPARE(shown.urx()->text(), QStringLiteral("http://host:8080/a.htm"));
  QCOMPARE(shown.edSession()->text(), QStringLiteral("8080ahtm"));
  QVERIFY(shown.urx()->hasFocus());

  // Deleting keys and a typed Cyrillic letter stay in the field too; the name follows.
  QTest::keyClick(shown.urx(), Qt::Key_Backspace);
  QTest::sendKeyEvent(QTest::Click, shown.urx(), Qt::Key_unknown, QStringLiteral("С"),
                      Qt::NoModifier);
  QCOMPARE(shown.urx()->text(), QStringLiteral("http://host:8080/a.htС"));
  QCOMPARE(shown.edSession()->text(), QStringLiteral("8080aht"));
  QVERIFY(shown.urx()->hasFocus());

  // A whole text put in at once still hands the selected name over.
  shown.urx()->selectAll();
  shown.urx()->insert(QStringLiteral("C:\\pages\\list.htm"));
  QVERIFY(shown.edSession()->hasFocus());
  QCOMPARE(shown.edSession()->selectedText(), QStringLiteral("listhtm"));
}

void WindowTest::enterInEitherFieldOrOnGoStartsARun() {
  ShownForm shown;
  QVERIFY(shown.active);
  const std::string page = shown.folder.File("in.htm");
  testkit::WriteFileBytes(page, testkit::CataloguePage("T", ""));
  shown.urx()->setText(QString::fromStdString(page));
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  for (const char* name : {"urx", "edSession", "Button1"}) {
    auto* widget = Find<QWidget>(shown.form, name);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_Return);
    QVERIFY2(ended.wait(kRunTimeoutMs), name);
    QCOMPARE(ended.takeFirst().at(0).toBool(), true);
  }
  QVERIFY(PathExists(shown.folder.File(DeriveSessionName(page) + ".html")));
}

void WindowTest::mnemonicsUnderlineTheirLetterAndAltGPressesGo() {
  ShownForm shown;
  QVERIFY(shown.active);
  // The label reads as before and looks like it, but for the underline.
  QLabel* label = LabelOf(shown.form, shown.urx());
  QCOMPARE(label->text(), QStringLiteral("Путь или ссылка"));
  QLabel plain(label->text());
  plain.setFont(label->font());
  plain.resize(label->size());
  QVERIFY(label->grab().toImage() != plain.grab().toImage());

  // Alt+И reaches the save name; Alt+G types nothing and presses "Go!".
  shown.urx()->setFocus();
  QTest::sendKeyEvent(QTest::Click, shown.urx(), static_cast<Qt::Key>(QChar(u'И').unicode()),
                      QStringLiteral("и"), Qt::AltModifier);
  QVERIFY(shown.edSession()->hasFocus());
  MessageBoxCloser closer;
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  QTest::keyClick(shown.edSession(), Qt::Key_G, Qt::AltModifier);
  QVERIFY(ended.wait(kRunTimeoutMs));
  QVERIFY(shown.urx()->text().isEmpty());
  QVERIFY(shown.edSession()->text().isEmpty());
  QCOMPARE(closer.seen.size(), std::size_t{1});  // the empty source, as a click on "Go!" gives
}

void WindowTest::aDroppedFileOrLinkFillsTheSource() {
  ShownForm shown;
  QVERIFY(shown.active);
  const auto drop = [](QWidget* target, const QMimeData& data) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    QVERIFY(dropped.isAccepted());
  };
  shown.urx()->setText(QStringLiteral("old text"));

  // A file from a file manager, on the source field: its path replaces the text.
  QMimeData file;
  file.setUrls({QUrl::fromLocalFile(QStringLiteral("/data/my list.htm"))});
  drop(shown.urx(), file);
  QCOMPARE(shown.urx()->text(), QStringLiteral("/data/my list.htm"));
  QCOMPARE(shown.edSession()->text(), QStringLiteral("mylisthtm"));
  QVERIFY(shown.edSession()->hasFocus());
  QCOMPARE(shown.edSession()->selectedText(), shown.edSession()->text());

  // A link from a browser, anywhere on the window.
  QMimeData link;
  link.setText(QStringLiteral("http://host/list/page7.htm\n"));
  drop(&shown.form, link);
  QCOMPARE(shown.urx()->text(), QStringLiteral("http://host/list/page7.htm"));
  QCOMPARE(shown.edSession()->text(), QStringLiteral("hostlistpage7htm"));

  // The lines pane takes no text from a drop: the files are sources there too.
  auto* lines = Find<QPlainTextEdit>(shown.form, "mm");
  drop(lines->viewport(), file);
  QCOMPARE(shown.urx()->text(), QStringLiteral("/data/my list.htm"));
  QVERIFY(lines->toPlainText().isEmpty());

  // The preview passes drops on to the window rather than opening them itself.
  QSignalSpy loaded(shown.wb(), &QWebEngineView::loadFinished);
  shown.wb()->setUrl(QStringLiteral("about:blank"));
  QVERIFY(loaded.wait(kRunTimeoutMs));
  QWidget* render = shown.wb()->focusProxy();
  QVERIFY(render != nullptr);
  drop(render, file);
  QCOMPARE(shown.urx()->text(), QStringLiteral("/data/my list.htm"));
}

void WindowTest::aPasteOfLinesGivesOneSourceALine() {
  ShownForm shown;
  QVERIFY(shown.active);
  QApplication::clipboard()->setText(
      QStringLiteral("http://host/a.htm\r\n\nhttp://host/b.htm\nhttp://host/a.htm\n"));
  shown.urx()->setFocus();
  QTest::keyClick(shown.urx(), Qt::Key_V, Qt::ControlModifier);
  const QString a = QStringLiteral("http://host/a.htm"), b = QStringLiteral("http://host/b.htm");
  QCOMPARE(shown.urx()->text(), a + "; " + b + "; " + a);
  QCOMPARE(SourcesInText(shown.urx()->text()), QStringList({a, b, a}));
  // Each page takes the name derived from its source; the one given twice is told of.
  QVERIFY(shown.edSession()->isReadOnly());
  QVERIFY(shown.edSession()->text().isEmpty());
  QCOMPARE(shown.edSession()->placeholderText(), QStringLiteral("hostahtm, hostbhtm"));
  QCOMPARE(shown.statusText(), a + " is given more than once; it is converted once");

  // One source again: its name is derived into the field as always.
  shown.urx()->setText(b);
  QVERIFY(!shown.edSession()->isReadOnly());
  QCOMPARE(shown.edSession()->text(), QStringLiteral("hostbhtm"));
  QVERIFY(shown.statusText().isEmpty());
}

void WindowTest::dotsButtonAndCtrlOOpenAFileAsADropDoes() {
  TempDir pages;
  const std::string folder = pages.File("some dir");
  QVERIFY(std::filesystem::create_directory(folder));
  const QString page = QString::fromStdString(folder + "/catalogue.htm");
  testkit::WriteFileBytes(page.toStdString(), testkit::CataloguePage("T", ""));

  // What a drop of the file gives: the reference for both ways of opening it.
  ShownForm dropped;
  QVERIFY(dropped.active);
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(page)});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(dropped.urx(), &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(dropped.urx(), &drop);
  QCOMPARE(dropped.edSession()->text(), QStringLiteral("cataloguehtm"));

  ShownForm shown;
  QVERIFY(shown.active);
  auto* speed = Find<QToolButton>(shown.form, "SpeedButton1");
  // Answers the file dialog once it is up: picks file, or cancels when file is empty.
  QString title;
  QStringList filters;
  const auto answer = [&](const QString& file) {
    QTimer::singleShot(50, [&, file] {
      QFileDialog* dialog = nullptr;
      QTRY_VERIFY((dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())));
      title = dialog->windowTitle();
      filters = dialog->nameFilters();
      if (file.isEmpty()) {
        dialog->reject();
      } else {
        // Typed into the name field, as a user does (selectFile leaves a focused field alone).
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name != nullptr);
        name->setText(file);
        static_cast<QDialog*>(dialog)->accept();  // as its "Open" button does
      }
    });
  };
  const std::function<void()> ways[] = {
      [&] { speed->click(); },
      [&] { QTest::keyClick(shown.urx(), Qt::Key_O, Qt::ControlModifier); }};
  for (const auto& open : ways) {
    shown.urx()->setText(QStringLiteral("http://host/old.htm"));
    shown.edSession()->setText(QStringLiteral("typed"));
    shown.urx()->setFocus();
    answer(page);
    open();
    QCOMPARE(title, QStringLiteral("Открыть страницу каталога"));
    QCOMPARE(filters, QStringList({QStringLiteral("Страницы HTML (*.htm *.html)"),
                                   QStringLiteral("Все файлы (*)")}));
    QCOMPARE(shown.urx()->text(), page);
    QCOMPARE(shown.urx()->text(), dropped.urx()->text());
    QCOMPARE(shown.edSession()->text(), dropped.edSession()->text());
    QCOMPARE(shown.edSession()->selectedText(), dropped.edSession()->selectedText());
    // The focus is the save name's once the window is active again, as the window manager makes
    // it when the dialog closes (the headless platform leaves that to the test).
    QCOMPARE(shown.form.focusWidget(), shown.edSession());
    shown.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&shown.form));
    QVERIFY(shown.edSession()->hasFocus());
  }

  // Cancelled, it changes nothing.
  shown.urx()->setText(QStringLiteral("kept.htm"));
  answer(QString());
  speed->click();
  QCOMPARE(shown.urx()->text(), QStringLiteral("kept.htm"));
}

void WindowTest::aSourceOnTheCommandLineFillsTheField() {
  const auto started =
      StartWindow({QStringLiteral("picsheet"), QStringLiteral("file:///data/a%20b.htm")});
  QVERIFY(started->isVisible());
  // Where the screen is smaller than the window's own size, the window is made to fit it.
  QVERIFY(started->screen()->availableGeometry().contains(started->geometry()));
  QCOMPARE(Find<QLineEdit>(*started, "urx")->text(), QStringLiteral("/data/a b.htm"));
  QCOMPARE(Find<QLineEdit>(*started, "edSession")->text(), QStringLiteral("abhtm"));
  QCOMPARE(Find<QLineEdit>(*started, "edSession")->selectedText(), QStringLiteral("abhtm"));
  QVERIFY(!started->IsRunning());

  // Only one plain argument names a source; options belong to the program.
  const struct {
    QStringList arguments;
    QString source;
  } cases[] = {{{"picsheet", "http://host/a.htm"}, "http://host/a.htm"},
               {{"picsheet", "list.htm"}, "list.htm"},
               {{"picsheet"}, ""},
               {{"picsheet", "--paper"}, ""},
               {{"picsheet", "a.htm", "b.htm"}, ""}};
  for (const auto& entry : cases) QCOMPARE(SourceFromArguments(entry.arguments), entry.source);
}

void WindowTest::digitCaptionsShowTheirPictures() {
  CatalogueServer server;
  // The gap cells between -3 and 10 have captions of negative digits, -1 for one.
  server.page = testkit::CataloguePage("T", Cell("-3", server.Picture("p1.jpg")) +
                                                Cell("-1", server.Picture("p1.jpg")) +
                                                Cell("10", server.Picture("p1.jpg")));
  ShownForm shown;
  Find<QCheckBox>(shown.form, "cbSirian")->setChecked(true);
  shown.urx()->setText(QString::fromStdString(server.Url("/pages/list.htm")));
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  QSignalSpy loaded(shown.wb(), &QWebEngineView::loadFinished);
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);
  QVERIFY(loaded.count() > 0 || loaded.wait(kRunTimeoutMs));

  const QVariant seen = Evaluate(
      shown.wb(), QStringLiteral("Array.from(document.images).filter(i => (i.getAttribute('src') "
                                 "|| '').startsWith('syriannums/')).map(i => i.getAttribute('src') "
                                 "+ ' ' + i.naturalWidth).join(';')"));
  const QStringList pictures = seen.toString().split(u';', Qt::SkipEmptyParts);
  QVERIFY2(seen.toString().contains(QStringLiteral("syriannums/-")), qPrintable(seen.toString()));
  for (const QString& picture : pictures)
    QVERIFY2(!picture.endsWith(QStringLiteral(" 0")), qPrintable(picture));
}

void WindowTest::previewFitsThePageWidthAndZoomsOnlyTheScreen() {
  CatalogueServer server;
  server.page = testkit::CataloguePage(
      "T", Cell("1", server.Picture("p1.jpg")) + Cell("2", server.Picture("p5.jpg")));
  ShownForm shown;
  QVERIFY(shown.active);
  shown.urx()->setText(QString::fromStdString(server.Url("/pages/list.htm")));
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  QSignalSpy loaded(shown.wb(), &QWebEngineView::loadFinished);
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QVERIFY(loaded.count() > 0 || loaded.wait(kRunTimeoutMs));
  auto* pane = Find<PreviewPane>(shown.form, "wb");
  const auto overflows = [pane] {
    return Evaluate(pane, QStringLiteral("document.documentElement.scrollWidth > "
                                         "document.documentElement.clientWidth"))
        .toBool();
  };
  const auto pdfPictures = [&shown](const char* name) {
    QSignalSpy saved(&shown.form, &MainForm::PdfSaved);
    const std::string pdf = shown.folder.File(name);
    shown.form.SavePdf(QString::fromStdString(pdf));
    [&] { QVERIFY(saved.wait(kRunTimeoutMs)); }();
    return testkit::RunProcess("/usr/bin/pdfimages", {"-list", pdf}).out;
  };

  // The 19 cm table fits the narrow pane at once.
  QTRY_VERIFY(pane->zoomFactor() < 0.8);
  QVERIFY(!overflows());
  const double fitted = pane->zoomFactor();
  const std::string fittedPdf = pdfPictures("fitted.pdf");

  QTest::keyClick(shown.urx(), Qt::Key_Plus, Qt::ControlModifier);
  QVERIFY(!pane->fitsWidth());
  QVERIFY(pane->zoomFactor() > fitted);
  QWheelEvent wheel(QPointF(5, 5), pane->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
  const double before = pane->zoomFactor();
  QApplication::sendEvent(pane->focusProxy() ? pane->focusProxy() : pane->childAt(5, 5), &wheel);
  QVERIFY(pane->zoomFactor() > before);
  QTRY_VERIFY_WITH_TIMEOUT(overflows(), kRunTimeoutMs);
  // Printing lays the page out on paper, whatever the screen shows.
  QVERIFY2(QString::fromStdString(fittedPdf).count(QStringLiteral(" image ")) == 2,
           fittedPdf.c_str());
  QCOMPARE(pdfPictures("zoomed.pdf"), fittedPdf);

  QTest::keyClick(shown.urx(), Qt::Key_0, Qt::ControlModifier);
  QVERIFY(pane->fitsWidth());
  QCOMPARE(pane->zoomFactor(), fitted);
}

void WindowTest::selectionOfSaveNameStaysWhenFocusLeaves() {
  ShownForm shown;
  QVERIFY(shown.active);
  shown.urx()->setText(QStringLiteral("/data/list.htm"));
  QCOMPARE(shown.edSession()->selectedText(), QStringLiteral("listhtm"));
  shown.urx()->setFocus(Qt::MouseFocusReason);
  QVERIFY(!shown.edSession()->hasFocus());
  QCOMPARE(shown.edSession()->selectedText(), QStringLiteral("listhtm"));
}

void WindowTest::goShowsLinesSavesPageBytesAndPreviewsIt() {
  CatalogueServer server;
  // Number 0 is a wrapper (held back), 2 repeats, 3 is missing (a gap cell).
  server.page = testkit::CataloguePage(
      kTitle1251, Cell("0", server.Picture("wrapper.jpg")) + Cell("1", server.Picture("p1.jpg")) +
                      Cell("2", server.Picture("p5.jpg")) + Cell("2", server.Picture("p1.jpg")) +
                      Cell("4", server.Picture("p1.jpg")));
  const std::string source = server.Url("/pages/list.htm");
  const std::string name = DeriveSessionName(source);

  ShownForm shown;
  Find<QSpinBox>(shown.form, "coln")->setValue(3);
  shown.urx()->setText(QString::fromStdString(source));
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  QSignalSpy loaded(shown.wb(), &QWebEngineView::loadFinished);
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);

  TempDir referenceFolder;
  CatalogueOptions options;
  options.cellsPerRow = 3;
  const testkit::FolderRun reference = RunReference(source, name, referenceFolder.path(), options);
  QCOMPARE(QString::fromStdString(reference.error), QString());
  QVERIFY(reference.view.lines.size() > 5);

  // The page: the run's own lines, byte for byte, the title's Windows-1251 bytes included.
  const std::string pagePath = shown.folder.File(name + ".html");
  QVERIFY(PathExists(pagePath));
  const std::string bytes = ReadFileBytes(pagePath);
  QVERIFY(bytes == JoinedWithCrLf(reference.view.lines));
  QVERIFY(bytes.find("<b>" + kTitle1251 + "</b>") != std::string::npos);
  QVERIFY(bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0);

  // The pictures beside it: the portrait is kept as downloaded under vertical orientation.
  const std::string kept = shown.folder.File(name + "_images/00000001_1.jpg");
  QVERIFY(PathExists(kept));
  QVERIFY(ReadFileBytes(kept) == ReadFileBytes(kPictures + "p1.jpg"));
  QVERIFY(PathExists(shown.folder.File(name + "_images/00000002_1.jpg")));
  QVERIFY(PathExists(shown.folder.File(name + "_images/00000000_1.jpg")));

  // The pane shows the same lines decoded; the status bar keeps the last status.
  QCOMPARE(shown.mm()->toPlainText(), PaneTextOf(reference.view.lines));
  QVERIFY(shown.mm()->toPlainText().contains(QStringLiteral("<b>Серия 3</b>")));
  QVERIFY(!reference.view.LastStatus().empty());
  QCOMPARE(shown.statusText(), QString::fromStdString(reference.view.LastStatus()));
  // The run's counts stand in the status bar's tooltip; the progress bar is gone again.
  QVERIFY(reference.state.summary.pictures > 0);
  QCOMPARE(Find<QStatusBar>(shown.form, "sb")->toolTip(), SummaryText(reference.state.summary));
  CatalogueSummary counts{5, 4, 1, 2, 0, 1, {}};
  counts.leftOut.assign(3, Error(ErrorKind::kFetch, "Cannot open URL x"));
  QCOMPARE(SummaryText(counts),
           QStringLiteral("Ячеек: 5, изображений сохранено: 4, пустых ячеек для пропущенных "
                          "номеров: 1, повторов в стопке: 2, повторов пропущено: 0, оберток "
                          "перенесено в конец: 1, изображений не получено: 3"));
  QVERIFY(!Find<QWidget>(shown.form, "sbProgress")->isVisible());

  // The window's state and the preview.
  QCOMPARE(shown.form.state().sessionName, name);
  QCOMPARE(shown.wb()->url(), PageUrl(QString::fromStdString(pagePath)));
  QVERIFY(loaded.count() > 0 || loaded.wait(kRunTimeoutMs));
  QCOMPARE(loaded.last().at(0).toBool(), true);

  // The saved page can now be printed: "PDF…" writes an A4 PDF of the previewed page.
  QVERIFY(Find<QPushButton>(shown.form, "btnPrint")->isEnabled());
  QVERIFY(Find<QPushButton>(shown.form, "btnPdf")->isEnabled());
  QSignalSpy pdfSaved(&shown.form, &MainForm::PdfSaved);
  const std::string pdf = shown.folder.File("page.pdf");
  shown.form.SavePdf(QString::fromStdString(pdf));
  QVERIFY(pdfSaved.wait(kRunTimeoutMs));
  QCOMPARE(pdfSaved.takeFirst().at(0).toBool(), true);
  QCOMPARE(ReadFileBytes(pdf).substr(0, 5), std::string("%PDF-"));
  const testkit::ProcessResult info = testkit::RunProcess("/usr/bin/pdfinfo", {pdf});
  QVERIFY2(info.out.find("(A4)") != std::string::npos, info.out.c_str());
  QCOMPARE(shown.statusText(), QStringLiteral("PDF сохранён: ") + QString::fromStdString(pdf));

  // A second run with the same name replaces the page and shows it again.
  server.page = testkit::CataloguePage("T", Cell("1", server.Picture("p1.jpg")));
  loaded.clear();
  shown.urx()->setText(QString::fromStdString(source));
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);
  QVERIFY(ReadFileBytes(pagePath).find("<b>T</b>") != std::string::npos);
  QVERIFY(loaded.count() > 0 || loaded.wait(kRunTimeoutMs));
  QCOMPARE(shown.wb()->url(), PageUrl(QString::fromStdString(pagePath)));
}

void WindowTest::cyrillicSaveNameWorksInTheSavedPageAndThePreview() {
  // A Russian catalogue: Windows-1251 title and number texts, "3а" among them.
  const std::string title = "\xCF\xEE\xF7\xF2\xEE\xE2\xFB\xE5 \xEC\xE0\xF0\xEA\xE8: " + kTitle1251;
  CatalogueServer server;
  server.page = testkit::CataloguePage(title, Cell("1", server.Picture("p1.jpg")) +
                                                  Cell("2", server.Picture("p5.jpg")) +
                                                  Cell("3\xE0", server.Picture("p1.jpg")));
  ShownForm shown;
  Find<QCheckBox>(shown.form, "cbCovers")->setChecked(false);
  shown.urx()->setText(QString::fromStdString(server.Url("/pages/list.htm")));
  shown.edSession()->setText(QStringLiteral("Серия"));
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  QSignalSpy loaded(shown.wb(), &QWebEngineView::loadFinished);
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);

  // Inside the run and in the page the name is Windows-1251, beside the title; on disk UTF-8.
  const std::string name1251 = "\xD1\xE5\xF0\xE8\xFF";
  QCOMPARE(shown.form.state().sessionName, name1251);
  const std::string bytes = ReadFileBytes(shown.folder.File("Серия.html"));
  QVERIFY(bytes.find("<b>" + title + "</b>") != std::string::npos);
  QVERIFY(bytes.find("src=\"" + name1251 + "_images\\0000003\xE0_1.jpg\"") != std::string::npos);
  QVERIFY(PathExists(shown.folder.File("Серия_images/0000003а_1.jpg")));

  // The preview reads the page as a browser does: every picture found, the title in Cyrillic.
  QVERIFY(loaded.count() > 0 || loaded.wait(kRunTimeoutMs));
  QCOMPARE(loaded.last().at(0).toBool(), true);
  QVariant seen;
  shown.wb()->page()->runJavaScript(
      QStringLiteral("Array.from(document.images, i => i.naturalWidth > 0).join() + '|' +"
                     " document.querySelector('b').textContent"),
      QWebEngineScript::ApplicationWorld, [&seen](const QVariant& result) { seen = result; });
  QTRY_VERIFY_WITH_TIMEOUT(seen.isValid(), kRunTimeoutMs);
  QCOMPARE(seen.toString(), QStringLiteral("true,true,true|Почтовые марки: Серия 3"));

  // A program folder given relative to the current one previews the page all the same.
  const std::filesystem::path relative =
      std::filesystem::relative(shown.folder.path(), std::filesystem::current_path());
  shown.form.SetProgramFolder(relative.string());
  loaded.clear();
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QVERIFY(loaded.wait(kRunTimeoutMs));
  QCOMPARE(loaded.last().at(0).toBool(), true);
  QCOMPARE(shown.wb()->url(), PageUrl(QString::fromStdString(shown.folder.File("Серия.html"))));
}

void WindowTest::saveNameThatWindows1251CannotHoldShowsAMessageAndRunsNothing() {
  CatalogueServer server;
  server.page = testkit::CataloguePage("T", Cell("1", server.Picture("p1.jpg")));
  ShownForm shown;
  shown.urx()->setText(QString::fromStdString(server.Url("/pages/list.htm")));
  shown.edSession()->setText(QStringLiteral("Серия 名前"));
  MessageBoxCloser closer;
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  shown.Go();
  QVERIFY(ended.count() > 0 || ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), false);
  QCOMPARE(closer.seen.size(), std::size_t{1});
  QCOMPARE(closer.seen.front().text,
           QStringLiteral("The save name \"Серия 名前\" has a character that Windows-1251 "
                          "cannot hold: \"名\""));
  QCOMPARE(shown.FilesInFolder(), std::size_t{0});
  QVERIFY(Find<QWidget>(shown.form, "Button1")->isEnabled());
}

void WindowTest::controlsAreDisabledDuringARunAndEnabledAfter() {
  CatalogueServer server;
  server.page = testkit::CataloguePage("T", Cell("1", server.Url("/slow.jpg")));
  ShownForm shown;
  shown.urx()->setText(QString::fromStdString(server.Url("/pages/list.htm")));
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  shown.Go();

  // The picture is held back by the server: the run is under way, and the window's loop is
  // alive meanwhile, showing the lines made before it.
  QTRY_VERIFY_WITH_TIMEOUT(server.slowRequested, kRunTimeoutMs);
  QTRY_VERIFY(shown.mm()->toPlainText().contains(QStringLiteral("<b>T</b>")));
  QVERIFY(shown.form.IsRunning());
  const char* options[] = {"urx",       "SpeedButton1", "coln",     "bxPass", "rbVert",
                           "rbHoriz",   "rbNone",       "rbCW",     "rbCCW",  "edSession",
                           "GroupBox1", "cbSirian",     "cbCovers", "cbCells"};
  for (const char* name : options) QVERIFY2(!Find<QWidget>(shown.form, name)->isEnabled(), name);
  QVERIFY(shown.mm()->isReadOnly());
  // Nor does Ctrl+O open a file meanwhile: the source stays the one the run took.
  bool dialogShown = false;
  QTimer::singleShot(200, [&dialogShown] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      dialogShown = true;
      dialog->reject();
    }
  });
  QTest::keyClick(&shown.form, Qt::Key_O, Qt::ControlModifier);
  QTest::qWait(300);
  QVERIFY(!dialogShown);
  // The progress bar counts the one picture of the page, none saved yet.
  auto* progress = Find<QProgressBar>(shown.form, "sbProgress");
  QTRY_VERIFY(progress->isVisible());
  QCOMPARE(progress->maximum(), 1);
  QCOMPARE(progress->value(), 0);
  QVERIFY(ended.isEmpty());
  QCOMPARE(Find<QPushButton>(shown.form, "Button1")->text(), QStringLiteral("Стоп"));

  server.slowReleased = true;
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);
  QVERIFY(!shown.form.IsRunning());
  for (const char* name : options) QVERIFY2(Find<QWidget>(shown.form, name)->isEnabled(), name);
  QVERIFY(!shown.mm()->isReadOnly());
  QCOMPARE(Find<QPushButton>(shown.form, "Button1")->text(), QStringLiteral("Go!"));
}

void WindowTest::closingDuringARunEndsItsDownloadsAndWaitsForIt() {
  CatalogueServer server;
  server.page = testkit::CataloguePage("T", Cell("1", server.Url("/slow.jpg")));
  TempDir folder;
  auto* form = new MainForm;
  form->SetProgramFolder(folder.path());
  form->show();
  Find<QLineEdit>(*form, "urx")->setText(QString::fromStdString(server.Url("/pages/list.htm")));
  Find<QPushButton>(*form, "Button1")->click();
  QTRY_VERIFY_WITH_TIMEOUT(server.slowRequested, kRunTimeoutMs);
  QVERIFY(form->IsRunning());

  // The server still holds the picture back: the window goes without waiting for it.
  form->close();
  delete form;
  QVERIFY(!server.slowReleased);
  const std::string name = DeriveSessionName(server.Url("/pages/list.htm"));
  QVERIFY(!PathExists(folder.File(name + ".html")));
}

void WindowTest::missingFileShowsItsMessageInAStopBox() {
  ShownForm shown;
  const std::string missing = shown.folder.File("missing.htm");
  shown.urx()->setText(QString::fromStdString(missing));
  MessageBoxCloser closer;
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), false);

  QCOMPARE(closer.seen.size(), std::size_t{1});
  const MessageBoxCloser::Seen& box = closer.seen.front();
  const std::string message = FileOpenMessage(missing);
  QVERIFY(message.rfind("Cannot open file \"" + missing + "\". ", 0) == 0);
  QCOMPARE(box.text, QString::fromStdString(MessageForDisplay(message)));
  QVERIFY(box.text.endsWith(u'.'));
  QCOMPARE(box.title, ApplicationTitle());
  QCOMPARE(box.icon, QMessageBox::Critical);
  QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

  // Nothing saved, nothing previewed, and the window is usable again.
  QCOMPARE(shown.FilesInFolder(), std::size_t{0});
  QVERIFY(shown.wb()->url().isEmpty());
  QVERIFY(Find<QWidget>(shown.form, "Button1")->isEnabled());
  QVERIFY(!shown.mm()->isReadOnly());
}

void WindowTest::emptySourceFailsAsAFileAndSavesNothing() {
  ShownForm shown;
  MessageBoxCloser closer;
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), false);
  QCOMPARE(closer.seen.size(), std::size_t{1});
  // The empty path names no file and no folder.
  QCOMPARE(closer.seen.front().text,
           QStringLiteral("Cannot open file \"\". No such file or directory."));
  QCOMPARE(shown.FilesInFolder(), std::size_t{0});
  QVERIFY(shown.form.state().sessionName.empty());
}

void WindowTest::pictureErrorKeepsLinesWritesNoPageAndWindowStaysUsable() {
  CatalogueServer server;
  server.page = testkit::CataloguePage(
      "T", Cell("1", server.Picture("p1.jpg")) + Cell("2", server.Url("/error-page.jpg")));
  const std::string source = server.Url("/pages/list.htm");
  const std::string name = DeriveSessionName(source);
  ShownForm shown;
  shown.urx()->setText(QString::fromStdString(source));
  MessageBoxCloser closer;
  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), false);

  TempDir referenceFolder;
  const testkit::FolderRun reference = RunReference(source, name, referenceFolder.path(), {});
  QVERIFY(reference.error.rfind("JPEG error #", 0) == 0);
  QCOMPARE(closer.seen.size(), std::size_t{1});
  QCOMPARE(closer.seen.front().text, QString::fromStdString(MessageForDisplay(reference.error)));
  QCOMPARE(closer.seen.front().detail,
           QString::fromStdString("picture \"2\" #1 in cell 2, " + server.Url("/error-page.jpg") +
                                  ": the server answered 404 Not Found with text/html"));
  QCOMPARE(closer.seen.front().icon, QMessageBox::Critical);

  // The lines until the error stay in the pane, the first picture on disk; no page is written.
  QCOMPARE(shown.mm()->toPlainText(), PaneTextOf(reference.view.lines));
  QVERIFY(!PathExists(shown.folder.File(name + ".html")));
  QVERIFY(PathExists(shown.folder.File(name + "_images/00000001_1.jpg")));
  QCOMPARE(shown.form.state().sessionName, name);
  QVERIFY(shown.wb()->url().isEmpty());

  // The window goes on: the next run succeeds.
  server.page = testkit::CataloguePage("T", Cell("1", server.Picture("p1.jpg")));
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);
  QCOMPARE(closer.seen.size(), std::size_t{1});
  QVERIFY(PathExists(shown.folder.File(name + ".html")));
}

void WindowTest::aDropOfTwoCataloguesRunsBothInTurn() {
  CatalogueServer server;
  ShownForm shown;
  QVERIFY(shown.active);
  TempDir pages;
  const std::string first = pages.File("first.htm"), second = pages.File("second.htm");
  testkit::WriteFileBytes(first, testkit::CataloguePage("A", Cell("1", server.Picture("p1.jpg"))));
  testkit::WriteFileBytes(
      second, testkit::CataloguePage(
                  "B", Cell("1", server.Picture("p5.jpg")) + Cell("2", server.Picture("p1.jpg"))));
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(first)),
                 QUrl::fromLocalFile(QString::fromStdString(second))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(shown.urx(), &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(shown.urx(), &drop);
  QCOMPARE(shown.urx()->text(), QString::fromStdString(first + "; " + second));
  QCOMPARE(shown.edSession()->placeholderText(), QStringLiteral("firsthtm, secondhtm"));

  QSignalSpy ended(&shown.form, &MainForm::RunEnded);
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), true);
  const std::string firstPage = shown.folder.File("firsthtm.html");
  const std::string secondPage = shown.folder.File("secondhtm.html");
  QVERIFY(ReadFileBytes(firstPage).find("<b>A</b>") != std::string::npos);
  QVERIFY(ReadFileBytes(secondPage).find("<b>B</b>") != std::string::npos);
  QVERIFY(PathExists(shown.folder.File("secondhtm_images/00000002_1.jpg")));
  QCOMPARE(Find<QLabel>(shown.form, "sbPlace")->text(), QStringLiteral("Каталог 2 из 2"));
  QVERIFY(Find<QLabel>(shown.form, "sbPlace")->isVisible());
  QCOMPARE(shown.wb()->url(), PageUrl(QString::fromStdString(secondPage)));

  // A catalogue that fails ends the run, its message naming its source.
  MessageBoxCloser closer;
  const std::string missing = pages.File("missing.htm");
  shown.urx()->setText(QString::fromStdString(first + "; " + missing));
  shown.Go();
  QVERIFY(ended.wait(kRunTimeoutMs));
  QCOMPARE(ended.takeFirst().at(0).toBool(), false);
  QCOMPARE(closer.seen.size(), std::size_t{1});
  QCOMPARE(closer.seen.front().text,
           QString::fromStdString(missing + ": " + MessageForDisplay(FileOpenMessage(missing))));
  QCOMPARE(Find<QLabel>(shown.form, "sbPlace")->text(), QStringLiteral("Каталог 2 из 2"));
}

}  // namespace picsheet

QTEST_MAIN(picsheet::WindowTest)
#include "window_test.moc"
