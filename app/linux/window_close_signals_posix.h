#pragma once
// SIGTERM, SIGINT and SIGHUP (a session's end, Ctrl-C in the terminal that
// started the program, that terminal closed) reach the Linux window as a
// close request, so that they are put off while the watch is being written
// just as the window manager's close is. The handler only writes the signal
// number into a pipe; the UI thread reads it through a QSocketNotifier.

#include <QObject>

class QSocketNotifier;

namespace kestrune {

class WindowCloseSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; one instance per process.
  explicit WindowCloseSignals(QObject* parent = nullptr);
  ~WindowCloseSignals() override;

 signals:
  // On the UI thread, once per signal received.
  void CloseRequested(int signalNumber);

 private:
  void OnReadable();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kestrune
