#!/usr/bin/env python3
"""Replays what a program wrote to a terminal and prints the screen it left.

Knows what kestrune-update's live view uses: text, \\n, \\r, ESC[nA (cursor
up), ESC[2K (clear line) and ESC[J (clear to the end of the screen); any
other escape sequence is an error, so a new one cannot slip by unseen.

usage: replay-terminal.py TYPESCRIPT   (prints the final screen, then a
line "redraws=N": how many times the view moved the cursor up)
"""
import re
import sys

data = open(sys.argv[1], encoding="utf-8", errors="replace", newline="").read()
lines = [""]
row, col, redraws = 0, 0, 0
token = re.compile(r"\x1b\[(\d*)([A-Za-z])|\r\n|\r|\n|[^\x1b\r\n]+|\x1b")
for m in token.finditer(data):
    text = m.group(0)
    if m.group(2):
        count, code = int(m.group(1) or "1"), m.group(2)
        if code == "A":
            row, redraws = max(0, row - count), redraws + 1
        elif code == "K" and m.group(1) == "2":
            lines[row] = ""
        elif code == "J" and m.group(1) == "":
            lines[row] = lines[row][:col]
            del lines[row + 1:]
        else:
            sys.exit("replay-terminal: unknown sequence ESC[%s%s" % (m.group(1), code))
    elif text == "\x1b":
        sys.exit("replay-terminal: a lone ESC")
    elif text in ("\n", "\r\n"):  # a pty turns \n into \r\n
        row, col = row + 1, 0
        if row == len(lines):
            lines.append("")
    elif text == "\r":
        col = 0
    else:
        line = lines[row]
        lines[row] = line[:col].ljust(col) + text + line[col + len(text):]
        col += len(text)
while lines and lines[-1] == "":
    lines.pop()
print("\n".join(lines))
print("redraws=%d" % redraws)
