#!/usr/bin/env python3
"""The two Debian packages as a user's machine gets them: the command
line's (no Qt) and the window's, which depends on it. Each is unpacked with
dpkg -x into a scratch root, its control fields, files, program, documents
and lintian's verdict checked; the command line's udev rule and maintainer
scripts, the window's desktop entry, icons and metainfo; and what apt would
install with the command line's package on a machine with nothing
installed.

usage: package_contents_test.py --package-dir DIR --version V --source NAME
                                --cli-package NAME --cli-program NAME
                                --window-package NAME --window-program NAME
                                --icon-script make_icon.py --metainfo-id ID [--icon-size N ...]
Exits 77 (skipped) when DIR lacks a package, unless KESTRUNE_REQUIRE_PACKAGE
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

RULES_DIR = "usr/lib/udev/rules.d"
# logind's rule that turns the uaccess tag into access for the seat's user.
SEAT_RULES = "73-seat-late.rules"
ARGS = None


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def package_path(name):
    arch = run("dpkg", "--print-architecture").strip()
    return os.path.join(ARGS.package_dir, f"{name}_{ARGS.version}_{arch}.deb")


def own_files(package, program):
    """What every package holds of its own: its program, its manual page,
    its copyright and changelog."""
    return {
        f"usr/bin/{program}",
        f"usr/share/man/man1/{program}.1.gz",
        f"usr/share/doc/{package}/copyright",
        f"usr/share/doc/{package}/changelog.gz",
    }


def expected_cli_files():
    return own_files(ARGS.cli_package, ARGS.cli_program) | {
        f"{RULES_DIR}/70-{ARGS.source}.rules",
        "usr/share/bash-completion/completions/kestrune-update",
    } | {f"usr/share/locale/{lang}/LC_MESSAGES/kestrune.mo" for lang in ARGS.language}


def expected_window_files():
    name = ARGS.window_package
    return own_files(name, ARGS.window_program) | {
        f"usr/share/applications/{name}.desktop",
        f"usr/share/metainfo/{ARGS.metainfo_id}.metainfo.xml",
    } | {f"usr/share/icons/hicolor/{n}x{n}/apps/{name}.png" for n in ARGS.icon_size}


def depends_names(depends):
    """Every package a Depends field names, alternatives included."""
    return {re.split(r"[\s(]", alt.strip())[0]
            for clause in depends.split(",") for alt in clause.split("|")}


QT_PACKAGE = re.compile(r"^(lib)?qt6", re.I)
QT_LIBRARY = re.compile(r"^libQt\d", re.I)


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


class Package:
    """One .deb unpacked into a scratch root."""

    def __init__(self, name, program, expected_files):
        self.name = name
        self.program = program
        self.expected_files = expected_files
        self.deb = package_path(name)
        self.root = tempfile.mkdtemp(prefix=f"kestrune-{name}-")
        run("dpkg", "-x", self.deb, self.root)

    def path(self, relative):
        return os.path.join(self.root, relative)

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).strip()

    def control_members(self, scratch):
        control = tempfile.mkdtemp(dir=scratch)
        run("dpkg-deb", "-e", self.deb, control)
        return control


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cli = Package(ARGS.cli_package, ARGS.cli_program, expected_cli_files())
        cls.window = Package(ARGS.window_package, ARGS.window_program, expected_window_files())
        cls.packages = (cls.cli, cls.window)

    @classmethod
    def tearDownClass(cls):
        for package in cls.packages:
            shutil.rmtree(package.root, ignore_errors=True)

    def scratch(self, prefix):
        folder = tempfile.mkdtemp(prefix=prefix)
        self.addCleanup(shutil.rmtree, folder)
        return folder

    def test_control_fields(self):
        arch = run("dpkg", "--print-architecture").strip()
        for package in self.packages:
            with self.subTest(package=package.name):
                self.assertEqual(package.field("Package"), package.name)
                self.assertEqual(package.field("Version"), ARGS.version)
                self.assertEqual(package.field("Architecture"), arch)
                self.assertRegex(package.field("Maintainer"), r"^[^<>]+ <[^@<>\s]+@[^@<>\s]+>$")
                # The source the changelog and the copyright speak of.
                self.assertIn(package.field("Source"), ("", ARGS.source))

    def test_window_depends_on_the_command_line_of_its_own_version(self):
        clauses = [c.strip() for c in self.window.field("Depends").split(",")]
        self.assertIn(f"{ARGS.cli_package} (= {ARGS.version})", clauses)

    def test_libcurl_has_the_protocol_lists(self):
        # The downloader refuses to fetch when libcurl lacks an option it
        # sets; CURLOPT_PROTOCOLS_STR came with 7.85.0, which the symbols'
        # own minimum (7.16.2) does not ensure.
        for package in self.packages:
            with self.subTest(package=package.name):
                self.assertTrue(depends_at_least(package.field("Depends"), "libcurl4", "7.85.0"),
                                package.field("Depends"))

    def test_every_library_the_programs_load_comes_from_a_dependency(self):
        self.assertIn("libqt6widgets6", depends_names(self.window.field("Depends")))
        for package in self.packages:
            depends = depends_names(package.field("Depends"))
            # The service history of both programs is an SQLite file.
            self.assertIn("libsqlite3-0", depends)
            for library in self.loaded_libraries(package.path(f"usr/bin/{package.program}")):
                with self.subTest(package=package.name, library=library):
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

    def test_command_line_package_names_no_qt(self):
        depends = depends_names(self.cli.field("Depends"))
        depends |= depends_names(self.cli.field("Recommends"))
        self.assertFalse({d for d in depends if QT_PACKAGE.match(d)}, depends)
        elf_files = []
        for folder, _dirs, names in os.walk(self.cli.root):
            for name in names:
                path = os.path.join(folder, name)
                if not os.path.islink(path) and read_bytes(path)[:4] == b"\x7fELF":
                    elf_files.append(path)
        self.assertIn(self.cli.path(f"usr/bin/{self.cli.program}"), elf_files)
        for path in elf_files:
            with self.subTest(file=os.path.relpath(path, self.cli.root)):
                needed = re.findall(r"\(NEEDED\).*\[(.+)\]", run("readelf", "-d", path))
                self.assertFalse([n for n in needed if QT_LIBRARY.match(n)], needed)
                # Nor through another library: everything ldd loads with it.
                loaded = re.findall(r"^\s*(\S+)\s+=>", run("ldd", path), re.M)
                self.assertTrue(loaded)
                self.assertFalse([n for n in loaded if QT_LIBRARY.match(n)], loaded)

    def simulate_install(self, *packages):
        """The packages apt would install with these .deb files (their
        Recommends too, as apt install does) on a machine with nothing
        installed, from this machine's package lists."""
        if subprocess.run(["apt-cache", "show", "libc6"], capture_output=True).returncode != 0:
            self.skipTest("apt knows no packages here (no package lists)")
        empty_status = os.path.join(self.scratch("kestrune-apt-"), "status")
        open(empty_status, "w").close()
        result = subprocess.run(
            ["apt-get", "install", "--simulate", "-o", f"Dir::State::status={empty_status}",
             "-o", "Debug::NoLocking=1", "-o", "APT::Install-Recommends=true"]
            + [p.deb for p in packages],
            capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        installed = set(re.findall(r"(?m)^Inst (\S+)", result.stdout))
        self.assertIn(packages[-1].name, installed)
        return installed

    def test_installing_the_command_line_pulls_in_no_qt(self):
        installed = self.simulate_install(self.cli)
        self.assertIn("libcurl4", installed)
        self.assertFalse({p for p in installed if QT_PACKAGE.match(p)})
        # The same look finds Qt where it is pulled in: with the window.
        with_window = self.simulate_install(self.cli, self.window)
        self.assertIn("libqt6widgets6", with_window)

    def test_files_owners_and_modes(self):
        for package in self.packages:
            listing = run("dpkg-deb", "-c", package.deb).splitlines()
            files = set()
            for line in listing:
                mode, owner, _size, _date, _time, path = line.split(None, 5)
                path = path[2:] if path.startswith("./") else path
                with self.subTest(package=package.name, path=path):
                    self.assertEqual(owner, "root/root")
                    if mode.startswith("d"):
                        self.assertEqual(mode, "drwxr-xr-x")
                        continue
                    files.add(path)
                    program = path.startswith("usr/bin/")
                    self.assertEqual(mode, "-rwxr-xr-x" if program else "-rw-r--r--")
            with self.subTest(package=package.name):
                self.assertEqual(files, package.expected_files)

    def test_programs_are_stripped_release_builds(self):
        for package in self.packages:
            with self.subTest(program=package.program):
                path = package.path(f"usr/bin/{package.program}")
                sections = run("readelf", "-S", "--wide", path)
                self.assertNotIn(".debug_info", sections)
                self.assertNotIn(".symtab", sections)
                self.assertNotIn(".comment", sections)
                needed = re.findall(r"\(NEEDED\).*\[(.+)\]", run("readelf", "-d", path))
                self.assertTrue(needed)
                self.assertFalse([n for n in needed if re.match(r"lib(asan|ubsan|tsan)", n)],
                                 "built with sanitizers")

    def test_desktop_entry(self):
        name = self.window.name
        entry = self.window.path(f"usr/share/applications/{name}.desktop")
        with open(entry, encoding="utf-8") as f:
            text = f.read()
        fields = dict(line.split("=", 1) for line in text.splitlines()
                      if "=" in line and not line.startswith("#"))
        self.assertEqual(fields["Exec"].split()[0], self.window.program)
        self.assertEqual(fields["Icon"], name)
        # One window only: no "New Window" in docks and launchers.
        self.assertEqual(fields["SingleMainWindow"], "true")
        if not validator_knows_single_main_window():
            # An older validator refuses the key it does not know; everything
            # else is still validated.
            entry = os.path.join(self.scratch("kestrune-desktop-"), f"{name}.desktop")
            with open(entry, "w", encoding="utf-8") as f:
                f.write(re.sub(r"(?m)^SingleMainWindow=.*\n", "", text))
        result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))

    def test_metainfo(self):
        path = self.window.path(f"usr/share/metainfo/{ARGS.metainfo_id}.metainfo.xml")
        result = subprocess.run(["appstreamcli", "validate", "--no-net", path],
                                capture_output=True, text=True)
        sys.stderr.write(result.stdout + result.stderr)
        self.assertEqual(result.returncode, 0, "appstreamcli validate failed")
        component = ElementTree.parse(path).getroot()
        self.assertEqual(component.get("type"), "desktop-application")
        self.assertEqual(component.findtext("id"), ARGS.metainfo_id)
        launchable = component.find("launchable")
        self.assertEqual((launchable.get("type"), launchable.text),
                         ("desktop-id", f"{self.window.name}.desktop"))
        self.assertTrue(
            os.path.exists(self.window.path(f"usr/share/applications/{launchable.text}")))
        # The releases are the changelog's, newest first.
        with gzip.open(self.window.path(f"usr/share/doc/{self.window.name}/changelog.gz"), "rt",
                       encoding="utf-8") as f:
            versions = re.findall(rf"(?m)^{ARGS.source} \(([^)]+)\)", f.read())
        self.assertEqual([r.get("version") for r in component.iter("release")], versions)
        self.assertEqual(versions[0], ARGS.version)

    def udev_rules(self):
        rules_dir = self.cli.path(RULES_DIR)
        names = sorted(os.listdir(rules_dir))
        self.assertEqual(len(names), 1, names)
        with open(os.path.join(rules_dir, names[0]), encoding="utf-8") as f:
            return names[0], udev_rules.parse(f.read())

    def test_metainfo_modalias_is_the_watch_the_udev_rule_serves(self):
        with open(self.window.path(f"usr/share/metainfo/{ARGS.metainfo_id}.metainfo.xml"),
                  encoding="utf-8") as f:
            modaliases = [m.text for m in ElementTree.parse(f).getroot().iter("modalias")]
        self.assertEqual(len(modaliases), 1, modaliases)
        # usb:v<vendor>p<product>d<device release>..., the kernel's USB modalias.
        found = re.fullmatch(r"usb:v([0-9A-F]{4})p([0-9A-F]{4})d\*", modaliases[0])
        self.assertIsNotNone(found, modaliases[0])
        vendor, product = (n.lower() for n in found.groups())
        # The rule (in the package the window depends on) gives the seat's
        # user the serial port of exactly that device.
        _name, rules = self.udev_rules()
        port = node_under(usb_device(vendor, product), "tty", "ttyACM0")
        self.assertEqual(udev_rules.apply(rules, port).tags, {"uaccess"})
        other = node_under(usb_device(vendor, f"{int(product, 16) ^ 1:04x}"), "tty", "ttyACM0")
        self.assertEqual(udev_rules.apply(rules, other).tags, set())

    def test_icons_are_the_program_drawing_at_each_size(self):
        scratch = self.scratch("kestrune-icons-")
        for size in ARGS.icon_size:
            with self.subTest(size=size):
                data = read_bytes(self.window.path(
                    f"usr/share/icons/hicolor/{size}x{size}/apps/{self.window.name}.png"))
                self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
                self.assertEqual(data[12:16], b"IHDR")
                self.assertEqual(struct.unpack(">II", data[16:24]), (size, size))
                drawn = os.path.join(scratch, f"{size}.png")
                run(sys.executable, ARGS.icon_script, "--png", str(size), drawn)
                self.assertEqual(data, read_bytes(drawn))

    def test_udev_rule(self):
        name, rules = self.udev_rules()
        # uaccess takes effect only when set before logind's rule runs.
        self.assertLess(name, SEAT_RULES)
        for what, device, tags, added in UDEV_CASES:
            with self.subTest(device=what):
                outcome = udev_rules.apply(rules, device)
                self.assertEqual(outcome.tags, tags)
                new = {k: v for k, v in outcome.env.items() if device.env.get(k) != v}
                self.assertEqual(new, added)
                # Access goes through the seat, never through a mode or group for all.
                self.assertEqual(outcome.assigned, {})

    def test_maintainer_scripts_refresh_udev_only_where_it_runs(self):
        scratch = self.scratch("kestrune-control-")
        control = self.cli.control_members(scratch)
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

    def one_package_of_before(self, scratch):
        """What users had before the split: one orvel-kestrune of an older
        version holding both packages' files, and the udev scripts."""
        stage = os.path.join(scratch, "one-package")
        for package in self.packages:
            run("dpkg-deb", "-x", package.deb, stage)
        control = os.path.join(stage, "DEBIAN")
        os.mkdir(control)
        cli_control = self.cli.control_members(scratch)
        for script in ("postinst", "postrm"):
            shutil.copy2(os.path.join(cli_control, script), control)
        with open(os.path.join(control, "control"), "w", encoding="utf-8") as f:
            f.write(f"Package: {self.window.name}\nVersion: {ARGS.version}~before\n"
                    f"Architecture: {self.window.field('Architecture')}\n"
                    f"Maintainer: {self.window.field('Maintainer')}\n"
                    "Description: both programs in one package\n")
        deb = os.path.join(scratch, "one-package.deb")
        run("dpkg-deb", "--root-owner-group", "-b", stage, deb)
        return deb

    def test_upgrade_from_the_one_package_that_held_both(self):
        if os.geteuid() != 0:
            self.skipTest("dpkg installs into a scratch root only as root")
        scratch = self.scratch("kestrune-upgrade-")
        old = self.one_package_of_before(scratch)
        root = os.path.join(scratch, "root")
        admin = os.path.join(root, "var/lib/dpkg")
        os.makedirs(os.path.join(admin, "updates"))
        os.makedirs(os.path.join(admin, "info"))
        for name in ("status", "available"):
            open(os.path.join(admin, name), "w").close()
        # The maintainer scripts run outside the scratch root (it has no
        # shell): a PATH without udevadm keeps them from this machine's udev.
        bin_dir = os.path.join(scratch, "bin")
        os.mkdir(bin_dir)
        for folder in ("/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin"):
            for name in os.listdir(folder):
                link = os.path.join(bin_dir, name)
                if name != "udevadm" and not os.path.lexists(link):
                    os.symlink(os.path.join(folder, name), link)
        dpkg = ["dpkg", f"--instdir={root}", f"--admindir={admin}", "--log=/dev/null",
                "--force-script-chrootless", "--force-depends"]

        def install(*options_and_debs):
            return subprocess.run(dpkg + ["-i", *options_and_debs], capture_output=True,
                                  text=True, env={"PATH": bin_dir, "LC_ALL": "C"})

        def owner(path):
            return run("dpkg-query", f"--admindir={admin}", "-S", path).split(":")[0]

        result = install(old)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(owner(f"/usr/bin/{self.cli.program}"), self.window.name)
        # The command line's package alone would leave the older window
        # beside it, without the program it ran with: refused.
        result = install(self.cli.deb)
        self.assertNotEqual(result.returncode, 0, result.stdout)
        self.assertIn(f"{self.cli.name} breaks {self.window.name}", result.stderr)
        # As apt does it: both new packages at once, the old one deconfigured.
        result = install("--auto-deconfigure", self.cli.deb, self.window.deb)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        for package in self.packages:
            with self.subTest(package=package.name):
                status = run("dpkg-query", f"--admindir={admin}", "-W",
                             "-f=${Status} ${Version}", package.name)
                self.assertEqual(status, f"install ok installed {ARGS.version}")
                for path in package.expected_files:
                    self.assertEqual(owner(f"/{path}"), package.name, path)
                    self.assertTrue(os.path.exists(os.path.join(root, path)), path)

    def test_window_package_leaves_udev_to_the_command_line(self):
        # The rule and its trigger come once, with the command line's package.
        control = self.window.control_members(self.scratch("kestrune-control-"))
        self.assertEqual(sorted(os.listdir(control)), ["control", "md5sums"])

    def test_copyright_and_changelog(self):
        for package in self.packages:
            with self.subTest(package=package.name):
                doc = package.path(f"usr/share/doc/{package.name}")
                with open(os.path.join(doc, "copyright"), encoding="utf-8") as f:
                    copyright_text = f.read()
                self.assertTrue(copyright_text.startswith(
                    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
                self.assertRegex(copyright_text, r"(?m)^Files: \*\nCopyright: .+\nLicense: \S+")
                compressed = read_bytes(os.path.join(doc, "changelog.gz"))
                self.assertEqual(struct.unpack("<I", compressed[4:8])[0], 0, "gzip time stamp")
                newest = gzip.decompress(compressed).decode("utf-8").splitlines()[0]
                self.assertRegex(newest,
                                 rf"^{ARGS.source} \({re.escape(ARGS.version)}\) \S+; urgency=\w+$")

    def test_lintian_reports_no_error_or_warning(self):
        for package in self.packages:
            with self.subTest(package=package.name):
                result = subprocess.run(["lintian", "--fail-on", "error,warning",
                                         "--tag-display-limit", "0", package.deb],
                                        capture_output=True, text=True)
                sys.stderr.write(result.stdout + result.stderr)
                self.assertEqual(result.returncode, 0, "lintian found errors or warnings")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--package-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--cli-package", required=True)
    parser.add_argument("--cli-program", required=True)
    parser.add_argument("--window-package", required=True)
    parser.add_argument("--window-program", required=True)
    parser.add_argument("--icon-script", required=True)
    parser.add_argument("--metainfo-id", required=True)
    parser.add_argument("--icon-size", action="append", type=int, default=[])
    parser.add_argument("--language", action="append", default=[])
    ARGS, rest = parser.parse_known_args()
    missing = [package_path(name) for name in (ARGS.cli_package, ARGS.window_package)
               if not os.path.exists(package_path(name))]
    if missing:
        message = (f"no package {', '.join(missing)}: build them with scripts/release, "
                   "or as scripts/test does")
        if os.environ.get("KESTRUNE_REQUIRE_PACKAGE"):
            sys.exit(message)
        print(f"SKIP: {message}")
        sys.exit(77)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
