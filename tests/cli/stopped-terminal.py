#!/usr/bin/env python3
"""Runs a program with standard output and error on a terminal whose output
is stopped, as Ctrl-S stops it: a pty pair with IXON set on the slave, XOFF
(0x13) written to the master before the program starts. From then on every
write of the program to the terminal blocks until XON (0x11).

usage: stopped-terminal.py --log LOG --out FILE [--hold MODE] [--max-hold S]
                           [--interrupt-when TEXT] -- PROGRAM [ARG...]

--hold until-exit (default): XON once the run log LOG says "exits with", one
  second later, or after --max-hold seconds, whichever comes first.
--hold never: the output stays stopped until the program has ended (or,
  so that a program that waits for its output for ever is not waited for
  for ever, until --max-hold seconds have passed).
--hold none: the output is never stopped (a normal run on a terminal).
--interrupt-when TEXT: SIGINT to the program as soon as LOG holds TEXT
  (every TEXT, when given several times), while the output is stopped.

What it prints, one fact a line: exit_code, bytes_while_stopped (what the
terminal let through while stopped; 0 when the stop works),
interrupt_logged_ms (from the SIGINT until the log said how it was taken),
ended_ms_after_interrupt (from the SIGINT until the program ended),
ended_ms_after_exit_line (from the log's "exits with" line being seen until
the program ended), xon_sent (yes/no), xon_reason (exit-line: the run
ended while the output was stopped; max-hold: it did not within the time). Everything the terminal showed goes
to FILE.
"""
import argparse
import fcntl
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import termios
import time

parser = argparse.ArgumentParser()
parser.add_argument("--log", required=True)
parser.add_argument("--out", required=True)
parser.add_argument("--hold", choices=("until-exit", "never", "none"), default="until-exit")
parser.add_argument("--max-hold", type=float, default=30.0)
parser.add_argument("--interrupt-when", action="append", default=[])
parser.add_argument("command", nargs="+")
args = parser.parse_args()


def log_text():
    try:
        with open(args.log, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


master, slave = pty.openpty()
attrs = termios.tcgetattr(slave)
attrs[0] |= termios.IXON
attrs[3] &= ~termios.ECHO
termios.tcsetattr(slave, termios.TCSANOW, attrs)
fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 120, 0, 0))
stopped = args.hold != "none"
if stopped:
    os.write(master, b"\x13")
    time.sleep(0.2)  # the line discipline has taken it before the program writes

started = time.monotonic()
program = subprocess.Popen(args.command, stdin=subprocess.DEVNULL, stdout=slave, stderr=slave,
                           start_new_session=True)
os.close(slave)

shown = bytearray()
bytes_while_stopped = 0
interrupt_sent = None
interrupt_logged_ms = None
exit_line_seen = None
xon_sent = False
xon_reason = ""
eof = False
while True:
    ready, _, _ = select.select([master], [], [], 0.05)
    if ready and not eof:
        try:
            data = os.read(master, 65536)
        except OSError:  # EIO: every slave descriptor has gone
            data = b""
        if not data:
            eof = True
        shown += data
        if stopped:
            bytes_while_stopped += len(data)
    now = time.monotonic()
    text = log_text() if (stopped or args.interrupt_when) else ""
    if args.interrupt_when and interrupt_sent is None and all(
            want in text for want in args.interrupt_when):
        program.send_signal(signal.SIGINT)
        interrupt_sent = now
    if interrupt_sent is not None and interrupt_logged_ms is None and (
            "interrupt during writing" in text or "interrupt while" in text
            or "interrupted before writing began" in text):
        interrupt_logged_ms = int((now - interrupt_sent) * 1000)
    if exit_line_seen is None and " exits with " in text:
        exit_line_seen = now
    ended = program.poll() is not None
    if stopped and ((args.hold == "until-exit" and exit_line_seen is not None
                     and now - exit_line_seen >= 1.0) or now - started >= args.max_hold):
        os.write(master, b"\x11")
        stopped = False
        xon_sent = True
        xon_reason = "max-hold" if now - started >= args.max_hold else "exit-line"
    if ended and (eof or stopped):
        break
    if ended and not ready:
        break

exit_code = program.wait()
ended_at = time.monotonic()
print("exit_code=%d" % exit_code)
print("bytes_while_stopped=%d" % bytes_while_stopped)
print("interrupt_logged_ms=%s" % ("" if interrupt_logged_ms is None else interrupt_logged_ms))
print("ended_ms_after_interrupt=%s" % (
    "" if interrupt_sent is None else int((ended_at - interrupt_sent) * 1000)))
print("ended_ms_after_exit_line=%s" % (
    "" if exit_line_seen is None else int((ended_at - exit_line_seen) * 1000)))
print("xon_sent=%s" % ("yes" if xon_sent else "no"))
print("xon_reason=%s" % xon_reason)
with open(args.out, "wb") as f:
    f.write(bytes(shown))
