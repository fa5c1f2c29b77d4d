#!/usr/bin/env python3
"""The Debian package as a user's machine gets it: unpacked with dpkg -x
into a scratch root, its control fields, files, programs, desktop entry,
icons, udev rule and documents checked, and lintian run on it.

usage: package_contents_test.py --package-dir DIR --version V --icon-script make_icon.py
                                --metainfo-id ID [--program NAME ...] [--icon-size N ...] [--manual NAME.1 ...]
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
import xml.etree.ElementTree as ElementTree

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
        f"usr/share/metainfo/{ARGS.metainfo_id}.metainfo.xml",
        "usr/share/bash-completion/completions/kestrune-update",
    }
    files |= {f"usr/share/man/man1/{m}.gz" for m in ARGS.manual}
    files |= {f"usr/share/locale/{lang}/LC_MESSAGES/kestrune.mo" for lang in ARGS.language}
    return files


def validator_knows_single_main_window():
    """desktop-file-validate learnt the desktop entry format 1.5's
    SingleMainWindow in 0.27; Debian 12 has 0.26."""
    found = re.search(r"^Version: (\d+)\.(\d+)", run("dpkg-query", "-s", "desktop-file-utils"), re.M)
    return tuple(int(n) for n in found.groups()) >= (0, 27)


def depends_at_least(depends, package, version):
    """Whether the Depends field holds `package` only at `version` or newer:
    some clause names nothing but it, with a (>= V) or (= V) of at least
    `version`."""
    for clause in depends.split(","):
        found = re.fullmatch(rf"\s*{re.escape(package)}(?::\w+)?\s*\((>=|=)\s*([^)\s]+)\)\s*",
                             clause)
        if found and subprocess.run(["dpkg", "--compare-versions", found.group(2), "ge",
                                     version]).returncode == 0:
            return True
    return False


def usb_device(vendor, product, kernel="1-1", parent=None):
    return udev_rules.Device("usb", kernel, {"idVendor": vendor, "idProduct": product},
                             {"DEVTYPE": "usb_device"}, parent)


def node_under(usb, subsystem, kernel):
    interface = udev_rules.Device("usb", f"{usb.kernel}:1.0", {"bInterfaceClass": "02"},
                                  {"DEVTYPE": "usb_interface"}, usb)
    # What systemd's 60-serial.rules leaves on a USB serial port before our
    # rule runs: usb_id's identity of the port's own USB device.
    env = {"ID_VENDOR_ID": usb.attrs["idVendor"], "ID_MODEL_ID": usb.attrs["idProduct"]}
    return udev_rules.Device(subsystem, kernel, env=env, parent=interface)


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
    # A hub (or composite device) that carries the watch's identity, with
    # another maker's serial adapter plugged into it: the adapter's port is
    # not the watch's, whatever its ancestors are.
    ("another maker's port behind a 1915:52f0 hub",
     node_under(usb_device("2341", "0043", "1-1.2", usb_device("1915", "52f0")), "tty", "ttyACM0"),
     set(), {}),
]


# What a maintainer script asks of udev: it reloads the rules and runs the
# serial ports through them again.
UDEV_REFRESH = ["control --ping", "control --reload", "trigger --action=change --subsystem-match=tty"]
# (script, its argument, udevadm: None absent, else whether udev runs, the calls it must see)
MAINTAINER_SCRIPT_CASES = [
    ("postinst", "configure", True, UDEV_REFRESH),
    ("postinst", "configure", False, ["control --ping"]),
    ("postinst", "configure", None, []),
    ("postrm", "remove", True, UDEV_REFRESH),
    ("postrm", "remove", False, ["control --ping"]),
    ("postrm", "remove", None, []),
    ("postrm", "purge", True, []),  # the rule went at the removal before
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

    def test_libcurl_has_the_protocol_lists(self):
        # The downloader refuses to fetch when libcurl lacks an option it
        # sets; CURLOPT_PROTOCOLS_STR came with 7.85.0, which the symbols'
        # own minimum (7.16.2) does not ensure.
        self.assertTrue(depends_at_least(self.field("Depends"), "libcurl4", "7.85.0"),
                        self.field("Depends"))

    def test_every_library_the_programs_load_comes_from_a_dependency(self):
        depends = {re.split(r"[\s(]", alt.strip())[0]
                   for clause in self.field("Depends").split(",") for alt in clause.split("|")}
        self.assertIn("libqt6widgets6", depends)
        # The service history of both programs is an SQLite file.
        self.assertIn("libsqlite3-0", depends)
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
        with open(entry, encoding="utf-8") as f:
            text = f.read()
        fields = dict(line.split("=", 1) for line in text.splitlines()
                      if "=" in line and not line.startswith("#"))
        self.assertIn(fields["Exec"].split()[0], ARGS.program)
        self.assertEqual(fields["Icon"], NAME)
        # One window only: no "New Window" in docks and launchers.
        self.assertEqual(fields["SingleMainWindow"], "true")
        if not validator_knows_single_main_window():
            # An older validator refuses the key it does not know; everything
            # else is still validated.
            scratch = tempfile.mkdtemp(prefix="kestrune-desktop-")
            entry = os.path.join(scratch, f"{NAME}.desktop")
            with open(entry, "w", encoding="utf-8") as f:
                f.write(re.sub(r"(?m)^SingleMainWindow=.*\n", "", text))
            self.addCleanup(shutil.rmtree, scratch)
        result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))

    def test_metainfo(self):
        path = self.path(f"usr/share/metainfo/{ARGS.metainfo_id}.metainfo.xml")
        result = subprocess.run(["appstreamcli", "validate", "--no-net", path],
                                capture_output=True, text=True)
        sys.stderr.write(result.stdout + result.stderr)
        self.assertEqual(result.returncode, 0, "appstreamcli validate failed")
        component = ElementTree.parse(path).getroot()
        self.assertEqual(component.get("type"), "desktop-application")
        self.assertEqual(component.findtext("id"), ARGS.metainfo_id)
        launchable = component.find("launchable")
        self.assertEqual((launchable.get("type"), launchable.text), ("desktop-id", f"{NAME}.desktop"))
        self.assertTrue(os.path.exists(self.path(f"usr/share/applications/{launchable.text}")))
        # The releases are the changelog's, newest first.
        with gzip.open(self.path(f"usr/share/doc/{NAME}/changelog.gz"), "rt",
                       encoding="utf-8") as f:
            versions = re.findall(rf"(?m)^{NAME} \(([^)]+)\)", f.read())
        self.assertEqual([r.get("version") for r in component.iter("release")], versions)
        self.assertEqual(versions[0], ARGS.version)

    def test_metainfo_modalias_is_the_watch_the_udev_rule_serves(self):
        with open(self.path(f"usr/share/metainfo/{ARGS.metainfo_id}.metainfo.xml"),
                  encoding="utf-8") as f:
            modaliases = [m.text for m in ElementTree.parse(f).getroot().iter("modalias")]
        self.assertEqual(len(modaliases), 1, modaliases)
        # usb:v<vendor>p<product>d<device release>..., the kernel's USB modalias.
        found = re.fullmatch(r"usb:v([0-9A-F]{4})p([0-9A-F]{4})d\*", modaliases[0])
        self.assertIsNotNone(found, modaliases[0])
        vendor, product = (n.lower() for n in found.groups())
        rules_dir = self.path(RULES_DIR)
        with open(os.path.join(rules_dir, os.listdir(rules_dir)[0]), encoding="utf-8") as f:
            rules = udev_rules.parse(f.read())
        # The rule gives the seat's user the serial port of exactly that device.
        port = node_under(usb_device(vendor, product), "tty", "ttyACM0")
        self.assertEqual(udev_rules.apply(rules, port).tags, {"uaccess"})
        other = node_under(usb_device(vendor, f"{int(product, 16) ^ 1:04x}"), "tty", "ttyACM0")
        self.assertEqual(udev_rules.apply(rules, other).tags, set())

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

    def test_maintainer_scripts_refresh_udev_only_where_it_runs(self):
        scratch = tempfile.mkdtemp(prefix="kestrune-control-")
        try:
            control = os.path.join(scratch, "control")
            run("dpkg-deb", "-e", self.deb, control)
            for script in ("postinst", "postrm"):
                self.assertEqual(os.stat(os.path.join(control, script)).st_mode & 0o777, 0o755)
            for script, argument, udev_runs, calls in MAINTAINER_SCRIPT_CASES:
                with self.subTest(script=script, argument=argument, udev_runs=udev_runs):
                    bin_dir = tempfile.mkdtemp(dir=scratch)
                    log = os.path.join(scratch, "udevadm.log")
                    open(log, "w").close()
                    if udev_runs is not None:
                        stub = os.path.join(bin_dir, "udevadm")
                        with open(stub, "w", encoding="utf-8") as f:
                            f.write(f'#!/bin/sh\necho "$*" >> "{log}"\n'
                                    f'[ "$*" != "control --ping" ] || exit {0 if udev_runs else 1}\n')
                        os.chmod(stub, 0o755)
                    # Only the stub's folder: no udevadm of this machine can answer.
                    result = subprocess.run(["/bin/sh", os.path.join(control, script), argument],
                                            env={"PATH": bin_dir}, capture_output=True, text=True)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    with open(log, encoding="utf-8") as f:
                        self.assertEqual(f.read().splitlines(), calls)
        finally:
            shutil.rmtree(scratch)

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
    parser.add_argument("--metainfo-id", required=True)
    parser.add_argument("--program", action="append", default=[])
    parser.add_argument("--icon-size", action="append", type=int, default=[])
    parser.add_argument("--manual", action="append", default=[])
    parser.add_argument("--language", action="append", default=[])
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
