#!/usr/bin/env python3
"""The Debian package as a user's machine gets it: unpacked with dpkg -x
into a scratch root, its control fields, files, programs, desktop entry,
icons, udev rule and documents checked, and lintian run on it.

usage: package_contents_test.py --package-dir DIR --version V --icon-script make_icon.py
                                [--program NAME ...] [--icon-size N ...] [--manual NAME.1 ...]
Exits 77 (skipped) when DIR holds no package, unless KESTRUNE_REQUIRE_PACKAGE
is set.
"""
import argparse
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import udev_rules  # noqa: E402

NAME = "orvel-kestrune"
RULES_DIR = "usr/lib/udev/rules.d"
# logind's rule that turns the uaccess tag into access for the seat's user.
SEAT_RULES = "73-seat-late.rules"
ARGS = None


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def package_path():
    arch = run("dpkg", "--print-architecture").strip()
    return os.path.join(ARGS.package_dir, f"{NAME}_{ARGS.version}_{arch}.deb")


def expected_files():
    files = {f"usr/bin/{p}" for p in ARGS.program}
    files |= {f"usr/share/icons/hicolor/{n}x{n}/apps/{NAME}.png" for n in ARGS.icon_size}
    files |= {
        f"usr/share/applications/{NAME}.desktop",
        f"{RULES_DIR}/70-{NAME}.rules",
        f"usr/share/doc/{NAME}/copyright",
        f"usr/share/doc/{NAME}/changelog.gz",
        "usr/share/bash-completion/completions/kestrune-update",
    }
    files |= {f"usr/share/man/man1/{m}.gz" for m in ARGS.manual}
    return files


def usb_device(vendor, product):
    return udev_rules.Device("usb", "1-1", {"idVendor": vendor, "idProduct": product},
                             {"DEVTYPE": "usb_device"})


def node_under(usb, subsystem, kernel):
    interface = udev_rules.Device("usb", "1-1:1.0", {"bInterfaceClass": "02"},
                                  {"DEVTYPE": "usb_interface"}, usb)
    return udev_rules.Device(subsystem, kernel, parent=interface)


WATCH = usb_device("1915", "52f0")
IGNORED_BY_MM = {"ID_MM_DEVICE_IGNORE": "1"}
# (what, device, tags it must get, properties the rules must add)
UDEV_CASES = [
    ("the watch's serial port", node_under(WATCH, "tty", "ttyACM0"), {"uaccess"}, IGNORED_BY_MM),
    ("the watch's USB device", WATCH, set(), IGNORED_BY_MM),
    ("another node of the watch", node_under(WATCH, "hidraw", "hidraw0"), set(), {}),
    ("another product of the maker", node_under(usb_device("1915", "52f1"), "tty", "ttyACM0"),
     set(), {}),
    ("another maker's product 52f0", node_under(usb_device("2e8a", "52f0"), "tty", "ttyACM0"),
     set(), {}),
]


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb = package_path()
        cls.root = tempfile.mkdtemp(prefix="kestrune-package-")
        run("dpkg", "-x", cls.deb, cls.root)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.root, relative)

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).strip()

    def test_control_fields(self):
        self.assertEqual(self.field("Package"), NAME)
        self.assertEqual(self.field("Version"), ARGS.version)
        self.assertEqual(self.field("Architecture"), run("dpkg", "--print-architecture").strip())
        self.assertRegex(self.field("Maintainer"), r"^[^<>]+ <[^@<>\s]+@[^@<>\s]+>$")

    def test_every_library_the_programs_load_comes_from_a_dependency(self):
        depends = {re.split(r"[\s(]", alt.strip())[0]
                   for clause in self.field("Depends").split(",") for alt in clause.split("|")}
        self.assertIn("libqt6widgets6", depends)
        for program in ARGS.program:
            for library in self.loaded_libraries(self.path(f"usr/bin/{program}")):
                with self.subTest(program=program, library=library):
                    self.assertIn(self.owning_package(library), depends)

    def loaded_libraries(self, program):
        """The libraries the program names itself (not theirs), as ldd finds them."""
        found = dict(re.findall(r"^\s*(\S+)\s+=>\s+(/\S+)", run("ldd", program), re.M))
        needed = re.findall(r"\(NEEDED\).*\[(.+)\]", run("readelf", "-d", program))
        self.assertTrue(needed, f"{program} names no libraries")
        return [found[name] for name in needed]

    def owning_package(self, library):
        # With a merged /usr, dpkg may know a library under /lib or /usr/lib.
        candidates = {library, os.path.realpath(library)}
        candidates |= {c[4:] if c.startswith("/usr/") else "/usr" + c for c in set(candidates)}
        for candidate in candidates:
            found = subprocess.run(["dpkg", "-S", candidate], capture_output=True, text=True)
            if found.returncode == 0:
                return found.stdout.split(":")[0].split(",")[0].strip()
        self.fail(f"no installed package holds {library}")

    def test_files_owners_and_modes(self):
        listing = run("dpkg-deb", "-c", self.deb).splitlines()
        files = set()
        for line in listing:
            mode, owner, _size, _date, _time, path = line.split(None, 5)
            path = path[2:] if path.startswith("./") else path
            with self.subTest(path=path):
                self.assertEqual(owner, "root/root")
                if mode.startswith("d"):
                    self.assertEqual(mode, "drwxr-xr-x")
                    continue
                files.add(path)
                program = path.startswith("usr/bin/")
                self.assertEqual(mode, "-rwxr-xr-x" if program else "-rw-r--r--")
        self.assertEqual(files, expected_files())

    def test_programs_are_stripped_release_builds(self):
        for program in ARGS.program:
            with self.subTest(program=program):
                path = self.path(f"usr/bin/{program}")
                sections = run("readelf", "-S", "--wide", path)
                self.assertNotIn(".debug_info", sections)
                self.assertNotIn(".symtab", sections)
                needed = re.findall(r"\(NEEDED\).*\[(.+)\]", run("readelf", "-d", path))
                self.assertTrue(needed)
                self.assertFalse([n for n in needed if re.match(r"lib(asan|ubsan|tsan)", n)],
                                 "built with sanitizers")

    def test_desktop_entry(self):
        entry = self.path(f"usr/share/applications/{NAME}.desktop")
        result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
        with open(entry, encoding="utf-8") as f:
            fields = dict(line.rstrip("\n").split("=", 1) for line in f
                          if "=" in line and not line.startswith("#"))
        self.assertIn(fields["Exec"].split()[0], ARGS.program)
        self.assertEqual(fields["Icon"], NAME)

    def test_icons_are_the_program_drawing_at_each_size(self):
        scratch = tempfile.mkdtemp(prefix="kestrune-icons-")
        try:
            for size in ARGS.icon_size:
                with self.subTest(size=size):
                    data = read_bytes(
                        self.path(f"usr/share/icons/hicolor/{size}x{size}/apps/{NAME}.png"))
                    self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
                    self.assertEqual(data[12:16], b"IHDR")
                    self.assertEqual(struct.unpack(">II", data[16:24]), (size, size))
                    drawn = os.path.join(scratch, f"{size}.png")
                    run(sys.executable, ARGS.icon_script, "--png", str(size), drawn)
                    self.assertEqual(data, read_bytes(drawn))
        finally:
            shutil.rmtree(scratch)

    def test_udev_rule(self):
        names = sorted(os.listdir(self.path(RULES_DIR)))
        self.assertEqual(len(names), 1, names)
        # uaccess takes effect only when set before logind's rule runs.
        self.assertLess(names[0], SEAT_RULES)
        with open(self.path(f"{RULES_DIR}/{names[0]}"), encoding="utf-8") as f:
            rules = udev_rules.parse(f.read())
        for what, device, tags, added in UDEV_CASES:
            with self.subTest(device=what):
                outcome = udev_rules.apply(rules, device)
                self.assertEqual(outcome.tags, tags)
                new = {k: v for k, v in outcome.env.items() if device.env.get(k) != v}
                self.assertEqual(new, added)
                # Access goes through the seat, never through a mode or group for all.
                self.assertEqual(outcome.assigned, {})

    def test_copyright_and_changelog(self):
        doc = self.path(f"usr/share/doc/{NAME}")
        with open(os.path.join(doc, "copyright"), encoding="utf-8") as f:
            copyright_text = f.read()
        self.assertTrue(copyright_text.startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
        self.assertRegex(copyright_text, r"(?m)^Files: \*\nCopyright: .+\nLicense: \S+")
        compressed = read_bytes(os.path.join(doc, "changelog.gz"))
        self.assertEqual(struct.unpack("<I", compressed[4:8])[0], 0, "gzip time stamp")
        newest = gzip.decompress(compressed).decode("utf-8").splitlines()[0]
        self.assertRegex(newest, rf"^{NAME} \({re.escape(ARGS.version)}\) \S+; urgency=\w+$")

    def test_lintian_reports_no_error(self):
        result = subprocess.run(["lintian", "--fail-on", "error", "--tag-display-limit", "0",
                                 self.deb], capture_output=True, text=True)
        sys.stderr.write(result.stdout + result.stderr)
        self.assertEqual(result.returncode, 0, "lintian found errors")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--package-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--icon-script", required=True)
    parser.add_argument("--program", action="append", default=[])
    parser.add_argument("--icon-size", action="append", type=int, default=[])
    parser.add_argument("--manual", action="append", default=[])
    ARGS, rest = parser.parse_known_args()
    if not os.path.exists(package_path()):
        message = (f"no package {package_path()}: build it with scripts/release, "
                   "or as scripts/test does")
        if os.environ.get("KESTRUNE_REQUIRE_PACKAGE"):
            sys.exit(message)
        print(f"SKIP: {message}")
        sys.exit(77)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
