#include "app/linux/window_close_signals_posix.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace kestrune {
namespace {

constexpr int kCloseSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; the write end is all the handler touches.
int pipeEnds[2] = {-1, -1};

void OnSignal(int signalNumber) {
  const int savedErrno = errno;
  const unsigned char number = static_cast<unsigned char>(signalNumber);
  // A full pipe already holds a close request; dropping this one loses nothing.
  (void)!write(pipeEnds[1], &number, 1);
  errno = savedErrno;
}

}  // namespace

WindowCloseSignals::WindowCloseSignals(QObject* parent) : QObject(parent) {
  if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their default
  notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &WindowCloseSignals::OnReadable);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : kCloseSignals) sigaction(signalNumber, &action, nullptr);
}

WindowCloseSignals::~WindowCloseSignals() {
  if (!notifier_) return;
  // Back to the default, so that a signal after the window has gone ends
  // the program as it would any other.
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : kCloseSignals) sigaction(signalNumber, &action, nullptr);
  delete notifier_;
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  pipeEnds[0] = pipeEnds[1] = -1;
}

void WindowCloseSignals::OnReadable() {
  unsigned char number = 0;
  while (read(pipeEnds[0], &number, 1) == 1) emit CloseRequested(number);
}

}  // namespace kestrune
