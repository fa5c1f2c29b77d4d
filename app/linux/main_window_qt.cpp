#include "app/linux/main_window_qt.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <climits>

#include "app/linux/desktop_notice_linux.h"
#include "app/frontend/centered_position.h"
#include "app/frontend/shown_status.h"
#include "i18n/translate.h"
#include "app/linux/main_window_layout.h"
#include "app/linux/session_inhibit_portal_linux.h"

namespace kestrune {
namespace {

// Carries a worker's notice onto the UI thread.
class NoticeEvent : public QEvent {
 public:
  static QEvent::Type Id() {
    static const int id = QEvent::registerEventType();
    return static_cast<QEvent::Type>(id);
  }
  explicit NoticeEvent(WindowNotice notice) : QEvent(Id()), notice_(std::move(notice)) {}
  const WindowNotice& notice() const { return notice_; }

 private:
  WindowNotice notice_;
};

// The desktop entry's id, by which docks and notification daemons know us.
const char* const kDesktopId = kLinuxProgramName;

QString Text(const std::u16string& text) { return QString::fromStdU16String(text); }

// A text of the window's own in the user's language.
QString Translated(const char* english) { return QString::fromStdString(Tr(english)); }

// A status of the core's in the user's language.
QString Shown(const std::u16string& status) { return QString::fromStdString(ShownStatus(status)); }

int ProgressValue(std::uint32_t value) {
  return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/kestrune-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

MainWindowQt::MainWindowQt(WindowWorkers workers)
    : workers_(std::move(workers)),
      shared_(std::make_shared<WindowSharedState>()),
      logic_(shared_->Gate()),
      launcher_(QString::fromLatin1(kDesktopId)),
      sessionInhibit_(new SessionInhibitPortal(this)) {
  setWindowTitle(QString::fromLatin1(kMainWindowCaption));
  // A window of its own with a caption, a close box and a minimise box, no
  // maximise box and no sizing: the size is fixed.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());
  BuildControls();
  PlaceOnScreen();

  shared_->AttachWindow([this](WindowNotice notice) {
    QCoreApplication::postEvent(this, new NoticeEvent(std::move(notice)));
  });
  if (!StartUpdateCheckWorker(workers_.updateCheck, shared_)) ShowStatus(kCannotStartWorker);
  notes_->setFocus();
}

MainWindowQt::~MainWindowQt() {
  // Never wait for a worker; from here on their notices go nowhere.
  shared_->DetachWindow();
}

void MainWindowQt::BuildControls() {
  QFont font(QString::fromLatin1(kDialogFontFamily), kDialogFontPoints, QFont::Bold);
  setFont(font);
  const QFontMetrics metrics(font);
  const DialogBaseUnits base =
      BaseUnitsFromFont(metrics.horizontalAdvance(
                            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                        metrics.height());
  const PixelRect size = ToPixels(kMainWindowSize, base);
  setFixedSize(size.width, size.height);

  // Created in template order, which is also the tab order.
  for (const ControlPlacement& control : kMainWindowControls) {
    QWidget* widget = nullptr;
    // The fixed labels are translated; the version's placeholder is no text.
    const std::string fixed(control.text);
    const QString text =
        control.id == IDC_VERSION ? QString::fromStdString(fixed) : Translated(fixed.c_str());
    switch (control.id) {
      case IDC_RELEASE_NOTES:
        notes_ = new QPlainTextEdit(this);
        notes_->setObjectName(QStringLiteral("releaseNotes"));
        notes_->setReadOnly(true);
        notes_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        notes_->setLineWrapMode(QPlainTextEdit::NoWrap);
        notes_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        notes_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        notes_->setFocusPolicy(Qt::StrongFocus);
        notes_->setAccessibleName(Translated("Release notes"));
        widget = notes_;
        break;
      case IDC_STATUS:
        status_ = new QLabel(this);
        status_->setObjectName(QStringLiteral("status"));
        status_->setTextFormat(Qt::PlainText);
        widget = status_;
        break;
      case IDC_UPDATE_FIRMWARE:
        updateButton_ = new QPushButton(text, this);
        updateButton_->setObjectName(QStringLiteral("updateFirmware"));
        updateButton_->setDefault(false);
        connect(updateButton_, &QPushButton::clicked, this, &MainWindowQt::OnUpdateFirmware);
        widget = updateButton_;
        break;
      case IDC_VERSION:
        version_ = new QLabel(text, this);
        version_->setObjectName(QStringLiteral("version"));
        version_->setTextFormat(Qt::PlainText);
        widget = version_;
        break;
      case IDC_PROGRESS:
        progress_ = new QProgressBar(this);
        progress_->setObjectName(QStringLiteral("progress"));
        progress_->setTextVisible(false);
        progress_->setRange(0, 100);
        progress_->setValue(0);
        progress_->setAccessibleName(Translated("Update progress"));
        widget = progress_;
        break;
      default: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        widget = label;
        break;
      }
    }
    const PixelRect place = ToPixels(control.rect, base);
    widget->setGeometry(place.x, place.y, place.width, place.height);
  }
  cause_ = new QLabel(this);
  cause_->setObjectName(QStringLiteral("cause"));
  cause_->setTextFormat(Qt::PlainText);
  QFont plain = font;
  plain.setBold(false);  // it explains the status, it does not compete with it
  cause_->setFont(plain);
  const PixelRect place = ToPixels(kCauseLineRect, base);
  cause_->setGeometry(place.x, place.y, place.width, place.height);
}

void MainWindowQt::PlaceOnScreen() {
  // Centred in the primary screen's work area, kept inside it.
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect work = screen->availableGeometry();
  const ScreenRect area{work.left(), work.top(), work.left() + work.width(),
                        work.top() + work.height()};
  const ScreenPoint at = CenteredPosition(width(), height(), area, area);
  move(int(at.x), int(at.y));
}

bool MainWindowQt::event(QEvent* event) {
  if (event->type() == NoticeEvent::Id()) {
    OnNotice(static_cast<NoticeEvent*>(event)->notice());
    return true;
  }
  return QDialog::event(event);
}

void MainWindowQt::OnNotice(const WindowNotice& notice) {
  using Kind = WindowNotice::Kind;
  switch (notice.kind) {
    case Kind::kStatus:
      lastStatus_ = notice.text;
      ShowStatus(notice.text);
      break;
    case Kind::kFirmwareVersion: version_->setText(Text(notice.text)); break;
    case Kind::kReleaseNotes: notes_->setPlainText(Text(notice.text)); break;
    case Kind::kProgressRange:
      progressMaximum_ = notice.value;
      progress_->setRange(0, ProgressValue(notice.value));
      ShowProgress(0);
      break;
    case Kind::kProgressPosition: ShowProgress(shared_->TakeProgressPosition()); break;
    case Kind::kWriting: OnWriting(notice.value != 0); break;
    case Kind::kRunFinished: OnRunFinished(static_cast<RunOutcome>(notice.value)); break;
    case Kind::kPowerQuestion: AskPowerQuestion(notice.shown); break;
    case Kind::kCause:
      cause_->setText(Text(notice.text));
      cause_->setToolTip(Text(notice.text));  // a long line is cut at the window's edge
      break;
  }
}

// Window-modal and without a loop of its own: the window keeps taking its
// workers' notices and a close while the question is open, which the
// worker counts as no.
void MainWindowQt::AskPowerQuestion(const std::string& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), QString::fromStdString(text),
                              QMessageBox::NoButton, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QPushButton* goOn = box->addButton(Translated("&Continue"), QMessageBox::AcceptRole);
  QPushButton* cancel = box->addButton(Translated("C&ancel"), QMessageBox::RejectRole);
  box->setDefaultButton(cancel);
  box->setEscapeButton(cancel);
  std::shared_ptr<WindowSharedState> shared = shared_;
  connect(box, &QMessageBox::finished, this,
          [shared, box, goOn] { shared->AnswerPowerQuestion(box->clickedButton() == goOn); });
  powerQuestion_ = box;
  box->open();
}

void MainWindowQt::OnUpdateFirmware() {
  if (!logic_.PressUpdate()) return;
  cause_->clear();  // a new run, a new cause if any
  cause_->setToolTip({});
  if (!StartFirmwareUpdateWorker(workers_.firmwareUpdate, shared_)) logic_.RunNotStarted();
  Refresh();
}

void MainWindowQt::ShowProgress(std::uint32_t position) {
  progress_->setValue(ProgressValue(position));
  if (progressMaximum_ > 0) launcher_.Show(double(position) / progressMaximum_);
}

void MainWindowQt::OnWriting(bool writing) {
  if (writing) {
    sessionInhibit_->Hold(Translated("Writing firmware to the dive watch"));
  } else {
    sessionInhibit_->Release();
  }
}

void MainWindowQt::OnRunFinished(RunOutcome outcome) {
  launcher_.Hide();
  sessionInhibit_->Release();
  // A user looking elsewhere hears how the run ended (a run that ended
  // without a word, the weak battery's question answered no, says nothing).
  if (!isActiveWindow() && !RunOutcomeStatus(outcome).empty()) {
    SendDesktopNotice(QString::fromLatin1(kDesktopId), windowTitle(), Shown(lastStatus_));
  }
  if (logic_.RunEnded()) {
    closing_ = true;
    close();
    return;
  }
  Refresh();
}

void MainWindowQt::closeEvent(QCloseEvent* event) {
  if (closing_ || logic_.RequestClose() == MainWindowLogic::CloseAction::kCloseNow) {
    closing_ = true;
    shared_->DetachWindow();
    if (powerQuestion_) powerQuestion_->close();  // answered no: the gate is closed
    event->accept();
    return;
  }
  event->ignore();
  Refresh();
}

void MainWindowQt::reject() { close(); }

void MainWindowQt::ShowStatus(const std::u16string& text) {
  logic_.ShowStatus(text);
  Refresh();
}

void MainWindowQt::Refresh() {
  status_->setText(Shown(logic_.StatusLine()));
  updateButton_->setEnabled(logic_.UpdateButtonEnabled());
}

}  // namespace kestrune
