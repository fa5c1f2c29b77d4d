#!/usr/bin/env python3
"""Replays what a program wrote to a terminal and prints the screen it left.

Knows what kestrune-update's live view uses: text, \\n, \\r, ESC[nA (cursor
up), ESC[2K (clear line) and ESC[J (clear to the end of the screen); any
other escape sequence is an error, so a new one cannot slip by unseen.
Text wraps at the terminal's width as a terminal wraps it, East Asian wide
characters taking two columns.

usage: replay-terminal.py COLUMNS TYPESCRIPT [ROWS]   (prints the final
screen, then a line "redraws=N": how many times the view moved the cursor
up). With ROWS the terminal is that many lines high: what scrolls off its
top goes to the scrollback, which the cursor cannot reach any more; the
scrollback is printed first, each line marked "scrolled: ".
"""
import re
import sys
import unicodedata

columns = int(sys.argv[1])
rows = int(sys.argv[3]) if len(sys.argv) > 3 else 0
# newline="": a lone \r is a carriage return here, not a line end.
data = open(sys.argv[2], encoding="utf-8", errors="replace", newline="").read()
screen = [[]]  # rows of cells; a wide character's second cell is ""
row, col, redraws = 0, 0, 0
top = 0  # the first line of the screen; those above it scrolled away


def cells(r):
    while len(screen) <= r:
        screen.append([])
    return screen[r]


token = re.compile(r"\x1b\[(\d*)([A-Za-z])|\r\n|\r|\n|[^\x1b\r\n]|\x1b")
for m in token.finditer(data):
    text = m.group(0)
    if m.group(2):
        count, code = int(m.group(1) or "1"), m.group(2)
        if code == "A":
            row, redraws = max(top, row - count), redraws + 1
        elif code == "K" and m.group(1) == "2":
            screen[row] = cells(row) and []
        elif code == "J" and m.group(1) == "":
            del cells(row)[col:]
            del screen[row + 1:]
        else:
            sys.exit("replay-terminal: unknown sequence ESC[%s%s" % (m.group(1), code))
    elif text == "\x1b":
        sys.exit("replay-terminal: a lone ESC")
    elif text in ("\n", "\r\n"):  # a pty turns \n into \r\n
        row, col = row + 1, 0
        cells(row)
        if rows and row >= top + rows:
            top = row - rows + 1
    elif text == "\r":
        col = 0
    else:
        width = 2 if unicodedata.east_asian_width(text) in ("W", "F") else 1
        if col + width > columns:  # the terminal wraps
            row, col = row + 1, 0
            if rows and row >= top + rows:
                top = row - rows + 1
        line = cells(row)
        while len(line) < col + width:
            line.append(" ")
        line[col:col + width] = [text] + [""] * (width - 1)
        col += width
lines = ["".join(line).rstrip() for line in screen]
while len(lines) > top and lines[-1] == "":
    lines.pop()
print("\n".join(["scrolled: " + line for line in lines[:top]] + lines[top:]))
print("redraws=%d" % redraws)
