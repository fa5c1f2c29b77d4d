#pragma once
// The program's only window on Linux, a Qt dialog with the Windows dialog's
// controls, layout and behaviour: offered firmware version, release notes,
// status line, progress bar and the "Update Firmware" button. It starts the
// workers and hears from them only through WindowSharedState.

#include <QDialog>
#include <QPointer>
#include <memory>

#include "app/linux/launcher_progress_linux.h"
#include "app/frontend/main_window_logic.h"
#include "app/linux/window_shared_state.h"
#include "app/linux/window_workers.h"

class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace kestrune {

class SessionInhibitPortal;

class MainWindowQt : public QDialog {
  Q_OBJECT

 public:
  // Starts the update check with `workers.updateCheck` at once; each press
  // of the button runs `workers.firmwareUpdate`.
  explicit MainWindowQt(WindowWorkers workers);
  ~MainWindowQt() override;

  // Whether a worker still runs (the window may be gone already).
  bool WorkersRunning() const { return shared_->RunningWorkers() > 0; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Esc: the same path as the window manager's close.
  void reject() override;

 private:
  void BuildControls();
  void PlaceOnScreen();
  void OnUpdateFirmware();
  void OnNotice(const WindowNotice& notice);
  void OnRunFinished(RunOutcome outcome);
  void OnWriting(bool writing);
  void AskPowerQuestion(const std::string& text);
  void ShowProgress(std::uint32_t position);
  void ShowStatus(const std::u16string& text);
  void Refresh();

  WindowWorkers workers_;
  std::shared_ptr<WindowSharedState> shared_;
  MainWindowLogic logic_;
  // Set once the window is to close for good; its close is then accepted.
  bool closing_ = false;
  // The latest status from a worker, for the notice at a run's end.
  std::u16string lastStatus_;
  std::uint32_t progressMaximum_ = 0;
  // What the desktop is told of a run: its progress on the launcher icon,
  // and while the watch is being written, no logout or suspend please.
  LauncherProgress launcher_;
  SessionInhibitPortal* sessionInhibit_ = nullptr;
  // The open question about a weak battery, if any; closed with the window.
  QPointer<QMessageBox> powerQuestion_;

  QLabel* version_ = nullptr;
  QPlainTextEdit* notes_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* cause_ = nullptr;  // why the last run failed, beneath the status
  QProgressBar* progress_ = nullptr;
  QPushButton* updateButton_ = nullptr;
};

}  // namespace kestrune
