#!/usr/bin/env python3
"""Fills the metainfo template's @RELEASES@ with the releases of a Debian
changelog, newest first, so that the version and its notes are written once.

usage: metainfo_releases.py CHANGELOG TEMPLATE OUTPUT
"""
import email.utils
import re
import sys
from xml.sax.saxutils import escape

HEADER = re.compile(r"^\S+ \(([^)]+)\) \S+; urgency=\w+$")
TRAILER = re.compile(r"^ -- .+?  (.+)$")


def releases(text):
    """(version, date YYYY-MM-DD, [item text]) for each changelog entry."""
    found = []
    version, items = None, []
    for line in text.splitlines():
        header = HEADER.match(line)
        trailer = TRAILER.match(line)
        if header:
            version, items = header.group(1), []
        elif trailer and version:
            date = email.utils.parsedate_to_datetime(trailer.group(1)).date().isoformat()
            found.append((version, date, items))
            version = None
        elif line.startswith("  * "):
            items.append(line[4:].strip())
        elif line.startswith("    ") and items:
            items[-1] += " " + line.strip()
    if not found:
        sys.exit("metainfo_releases.py: no release in the changelog")
    return found


def release_xml(version, date, items):
    lines = [f'    <release version="{escape(version)}" date="{date}">']
    if items:
        lines += ["      <description>", "        <ul>"]
        lines += [f"          <li>{escape(item)}</li>" for item in items]
        lines += ["        </ul>", "      </description>"]
    lines.append("    </release>")
    return "\n".join(lines)


def main():
    changelog, template, output = sys.argv[1:4]
    with open(changelog, encoding="utf-8") as f:
        entries = releases(f.read())
    with open(template, encoding="utf-8") as f:
        text = f.read()
    text = text.replace("@RELEASES@", "\n".join(release_xml(*entry) for entry in entries))
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
