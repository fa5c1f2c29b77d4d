// The Linux window with workers that the test drives from their own threads
// through the real notice reporters: what it shows, the button's state, and
// the close that waits for the end of a write.
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QtTest>

#include <signal.h>

#include <cstdlib>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/linux/main_window_layout.h"
#include "app/linux/main_window_qt.h"
#include "app/frontend/worker_reporters.h"
#include "app/linux/window_close_signals_posix.h"
#include "i18n/translate.h"
#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

// A point a worker waits at until the test opens it.
class Gate {
 public:
  void Open() {
    std::lock_guard<std::mutex> guard(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

// The workers' scripts, shared with the threads that run them.
struct Script {
  Gate checkMayFinish;
  Gate writeMayFinish;
  std::atomic<int> updateRuns{0};
  std::atomic<bool> checkStarted{false};
};

// An update check that offers version 2.418 once its gate opens.
void CheckBody(std::shared_ptr<Script> script, std::shared_ptr<WindowSharedState> shared) {
  script->checkStarted = true;
  UpdateCheckWorkerReporter reporter(shared);
  reporter.PostStatus(kFetchingUpdateData);
  script->checkMayFinish.Wait();
  reporter.StoreManifestText("{}");
  reporter.ShowFirmwareVersion(u"2.418");
  reporter.ShowReleaseNotes(u"潛水日誌同步\nline two");
  reporter.PostStatus(kUpdateDataFetched);
}

// A firmware update of four blocks that stops after the second until its
// gate opens.
void UpdateBody(std::shared_ptr<Script> script, std::shared_ptr<WindowSharedState> shared) {
  ++script->updateRuns;
  FirmwareUpdateWorkerReporter reporter(shared);
  reporter.PostStatus(kFetchingImages);
  reporter.SetProgressRange(4);
  // As the run does: no block goes out once a close has been decided.
  if (!shared->Gate().BeginWriting()) return;
  reporter.SetWriting(true);
  reporter.PostStatus(kWritingImage);
  reporter.SetProgressPosition(1);
  reporter.SetProgressPosition(2);
  script->writeMayFinish.Wait();
  reporter.SetProgressPosition(3);
  reporter.SetProgressPosition(4);
  shared->Gate().EndWriting();
  reporter.PostStatus(kUpdateDone);
}

// A firmware update whose port another program holds, as the run reports
// it: the cause, the status, and the run's end.
void HeldPortBody(std::shared_ptr<Script> script, std::shared_ptr<WindowSharedState> shared) {
  ++script->updateRuns;
  FirmwareUpdateWorkerReporter reporter(shared);
  RunCause cause{RunCauseKind::kPortBusy, "/dev/ttyACM0"};
  cause.holder = "pid 4711 (cat)";
  reporter.SetCause(cause);
  reporter.PostStatus(kPortUnavailable);
  reporter.RunEnded(RunOutcome::kPortUnavailable);
}

QString Q(const char16_t* text) { return QString::fromStdU16String(text); }

// The user's language as LANG says, from the build tree's catalogues; false
// when the locale is not generated here.
bool SpeakAs(const char* lang) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) unsetenv(name);
  setenv("LANG", lang, 1);
  return StartTranslationIn(KESTRUNE_TEST_LOCALE_DIR);
}

class MainWindowQtTest : public QObject {
  Q_OBJECT

 private:
  std::shared_ptr<Script> script_;
  std::unique_ptr<MainWindowQt> window_;

  QLabel* Status() { return window_->findChild<QLabel*>("status"); }
  QLabel* Version() { return window_->findChild<QLabel*>("version"); }
  QPlainTextEdit* Notes() { return window_->findChild<QPlainTextEdit*>("releaseNotes"); }
  QProgressBar* Progress() { return window_->findChild<QProgressBar*>("progress"); }
  QPushButton* Button() { return window_->findChild<QPushButton*>("updateFirmware"); }
  QLabel* Cause() { return window_->findChild<QLabel*>("cause"); }

  void OpenChecked() {
    script_->checkMayFinish.Open();
    QTRY_COMPARE(Status()->text(), Q(kUpdateDataFetched));
  }

  void OpenWindow() {
    script_ = std::make_shared<Script>();
    auto script = script_;
    window_ = std::make_unique<MainWindowQt>(
        WindowWorkers{[script](std::shared_ptr<WindowSharedState> s) { CheckBody(script, s); },
                      [script](std::shared_ptr<WindowSharedState> s) { UpdateBody(script, s); }});
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void LetWorkersGo() {
    // Let blocked workers go; they outlive the window harmlessly.
    script_->checkMayFinish.Open();
    script_->writeMayFinish.Open();
  }

 private slots:
  // The window speaks Traditional Chinese here, where its status texts are
  // the dialog's own; speaksTheUsersLanguage tries the others.
  void initTestCase() { QVERIFY2(SpeakAs("zh_TW.UTF-8"), "scripts/setup generates zh_TW.UTF-8"); }

  void init() { OpenWindow(); }

  void cleanup() {
    LetWorkersGo();
    window_.reset();
    QVERIFY(SpeakAs("zh_TW.UTF-8"));
  }

  void opensAsTheWindowsDialogDoes() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("orvel kestrune tools"));
    QCOMPARE(window_->minimumSize(), window_->maximumSize());  // fixed size
    QVERIFY(script_->checkStarted.load());                     // the check starts with the window
    QCOMPARE(Version()->text(), QStringLiteral("1.005"));
    QVERIFY(Notes()->isReadOnly());
    QCOMPARE(Notes()->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(Button()->text(), QStringLiteral("更新韌體"));
    QVERIFY(Button()->isEnabled());
    QVERIFY(!Progress()->isTextVisible());
    QTRY_VERIFY(Notes()->hasFocus());
    QTRY_COMPARE(Status()->text(), Q(kFetchingUpdateData));

    QStringList labels;
    for (QLabel* label : window_->findChildren<QLabel*>()) labels << label->text();
    QVERIFY(labels.contains("韌體版本："));
    QVERIFY(labels.contains("新功能："));

    const QList<QSize> sizes = window_->windowIcon().availableSizes();
    for (int size : {16, 32, 48, 64, 128, 256}) QVERIFY(sizes.contains(QSize(size, size)));

    // Proportions: every control keeps its share of the template's client
    // area, to within a pixel of rounding.
    const double sx = window_->width() / double(kMainWindowSize.width);
    const double sy = window_->height() / double(kMainWindowSize.height);
    const struct {
      QWidget* widget;
      int id;
    } controls[] = {{Notes(), IDC_RELEASE_NOTES},
                    {Status(), IDC_STATUS},
                    {Button(), IDC_UPDATE_FIRMWARE},
                    {Version(), IDC_VERSION},
                    {Progress(), IDC_PROGRESS}};
    for (const auto& c : controls) {
      const DialogUnitRect& r = FindControl(c.id)->rect;
      const QRect g = c.widget->geometry();
      QVERIFY2(qAbs(g.x() - r.x * sx) <= 1 && qAbs(g.y() - r.y * sy) <= 1 &&
                   qAbs(g.width() - r.width * sx) <= 1 && qAbs(g.height() - r.height * sy) <= 1,
               qPrintable(QString("control %1 at %2,%3 %4x%5")
                              .arg(c.id)
                              .arg(g.x())
                              .arg(g.y())
                              .arg(g.width())
                              .arg(g.height())));
    }
  }

  // Labels, the status line and the close notice in the user's language;
  // the service's version and notes as they came.
  void speaksTheUsersLanguage_data() {
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("fetched");
    QTest::addColumn<QString>("deferred");
    QTest::addColumn<QString>("done");
    QTest::newRow("C") << "C.UTF-8"
                       << "Update Firmware"
                       << "Firmware Version:"
                       << "Update data fetched"
                       << "The window closes when the update has ended (Writing the firmware)"
                       << "Update complete";
    QTest::newRow("de") << "de_DE.UTF-8"
                        << "Firmware aktualisieren"
                        << "Firmware-Version:"
                        << "Update-Daten abgerufen"
                        << "Das Fenster schließt sich nach dem Update (Firmware wird geschrieben)"
                        << "Update abgeschlossen";
    QTest::newRow("zh_CN") << "zh_CN.UTF-8"
                           << "更新固件"
                           << "固件版本："
                           << "已获取更新数据"
                           << "更新结束后将关闭窗口（正在写入更新文件）"
                           << "更新完成";
  }

  void speaksTheUsersLanguage() {
    QFETCH(QString, lang);
    QFETCH(QString, button);
    QFETCH(QString, label);
    QFETCH(QString, fetched);
    QFETCH(QString, deferred);
    QFETCH(QString, done);
    LetWorkersGo();
    window_.reset();
    QVERIFY2(SpeakAs(lang.toUtf8().constData()), qPrintable(lang + " is not generated here"));
    OpenWindow();
    QCOMPARE(Button()->text(), button);
    QStringList labels;
    for (QLabel* shown : window_->findChildren<QLabel*>()) labels << shown->text();
    QVERIFY2(labels.contains(label), qPrintable(labels.join('|')));
    script_->checkMayFinish.Open();
    QTRY_COMPARE(Status()->text(), fetched);
    QCOMPARE(Version()->text(), QStringLiteral("2.418"));
    QTest::mouseClick(Button(), Qt::LeftButton);
    QTRY_COMPARE(Progress()->value(), 2);
    QVERIFY(!window_->close());
    QCOMPARE(Status()->text(), deferred);
    script_->writeMayFinish.Open();
    QTRY_VERIFY(!window_->isVisible());
    QVERIFY2(Status()->text().contains(done), qPrintable(Status()->text()));
  }

  void showsTheOfferedVersionAndNotes() {
    OpenChecked();
    QCOMPARE(Version()->text(), QStringLiteral("2.418"));
    QCOMPARE(Notes()->toPlainText(), QStringLiteral("潛水日誌同步\nline two"));
  }

  void aPressRunsOneUpdateWithTheButtonDisabled() {
    OpenChecked();
    QTest::mouseClick(Button(), Qt::LeftButton);
    QTRY_COMPARE(Status()->text(), Q(kWritingImage));
    QTRY_COMPARE(Progress()->value(), 2);
    QCOMPARE(Progress()->maximum(), 4);
    QVERIFY(!Button()->isEnabled());
    Button()->click();                               // ignored while disabled
    QMetaObject::invokeMethod(Button(), "clicked");  // and refused by the window
    QCoreApplication::processEvents();

    script_->writeMayFinish.Open();
    QTRY_COMPARE(Status()->text(), Q(kUpdateDone));
    QCOMPARE(Progress()->value(), 4);
    QTRY_VERIFY(Button()->isEnabled());
    QCOMPARE(script_->updateRuns.load(), 1);

    QTest::mouseClick(Button(), Qt::LeftButton);  // a new press, a new run
    QTRY_COMPARE(script_->updateRuns.load(), 2);
  }

  // The status stays the run's; the line beneath it says why and what to
  // do, until the next press; a run that succeeds leaves it empty.
  void aFailureShowsItsCauseBeneathTheStatus() {
    auto script = script_;
    window_ = std::make_unique<MainWindowQt>(
        WindowWorkers{[script](std::shared_ptr<WindowSharedState> s) { CheckBody(script, s); },
                      [script](std::shared_ptr<WindowSharedState> s) {
                        if (script->updateRuns == 0) {
                          HeldPortBody(script, s);
                        } else {
                          UpdateBody(script, s);
                        }
                      }});
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    OpenChecked();
    QCOMPARE(Cause()->text(), QString());
    QTest::mouseClick(Button(), Qt::LeftButton);
    QTRY_COMPARE(Status()->text(), Q(kPortUnavailable));
    QTRY_COMPARE(Cause()->text(),
                 Q(u"/dev/ttyACM0 正由 pid 4711 (cat) 使用；請關閉該程式"));
    QVERIFY(Cause()->isVisible());
    QVERIFY(Cause()->geometry().top() > Status()->geometry().bottom());
    QVERIFY(Cause()->geometry().bottom() <= window_->height());

    QTRY_VERIFY(Button()->isEnabled());
    script_->writeMayFinish.Open();
    QTest::mouseClick(Button(), Qt::LeftButton);
    QTRY_COMPARE(Status()->text(), Q(kUpdateDone));
    QCOMPARE(Cause()->text(), QString());
  }

  void aCloseWhileWritingWaitsForTheRunsEnd() {
    OpenChecked();
    QTest::mouseClick(Button(), Qt::LeftButton);
    QTRY_COMPARE(Progress()->value(), 2);

    const QString deferred = Q(StatusWithCloseDeferred(kWritingImage).c_str());
    QVERIFY(!window_->close());  // the window manager's close
    QVERIFY(window_->isVisible());
    QCOMPARE(Status()->text(), deferred);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    QVERIFY(window_->isVisible());
    QCOMPARE(Status()->text(), deferred);
    QVERIFY(!Button()->isEnabled());

    script_->writeMayFinish.Open();
    QTRY_VERIFY(!window_->isVisible());
    QCOMPARE(Status()->text(), Q(StatusWithCloseDeferred(kUpdateDone).c_str()));
    QCOMPARE(Progress()->value(), 4);
  }

  void aCloseBeforeWritingIsImmediate() {
    QVERIFY(window_->close());  // the update check still runs
    QVERIFY(!window_->isVisible());
  }

  void escClosesWhenNothingIsWritten() {
    OpenChecked();
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    QTRY_VERIFY(!window_->isVisible());
  }

  // The handler only writes into the pipe; the request arrives on the UI
  // thread, and once the watcher is gone the signal has its default again.
  void closeSignalsArriveOnTheUiThread_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
  }

  void closeSignalsArriveOnTheUiThread() {
    QFETCH(int, signalNumber);
    {
      WindowCloseSignals watcher;
      QSignalSpy requests(&watcher, &WindowCloseSignals::CloseRequested);
      QCOMPARE(raise(signalNumber), 0);  // the process lives on
      QTRY_COMPARE(requests.count(), 1);
      QCOMPARE(requests.at(0).at(0).toInt(), signalNumber);
    }
    struct sigaction after = {};
    QCOMPARE(sigaction(signalNumber, nullptr, &after), 0);
    QVERIFY(after.sa_handler == SIG_DFL);
  }

  void workersOutliveTheWindow() {
    // The check is blocked; the window goes; the check then reports.
    QPointer<QLabel> status = Status();
    window_.reset();
    QVERIFY(status.isNull());
    script_->checkMayFinish.Open();
    QTest::qWait(200);  // its notices find no window (ASan would object)
  }
};

}  // namespace
}  // namespace kestrune

QTEST_MAIN(kestrune::MainWindowQtTest)
#include "main_window_qt_test.moc"
