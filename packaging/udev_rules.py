"""The part of udev's rule language that the package's rule uses, read and
applied to a described device the way udev applies it, so that a test can
ask what a rule file does to a device. Anything outside that part is
refused rather than guessed at."""

import fnmatch
import re
from dataclasses import dataclass, field
from typing import Dict, Optional

# Keys matched against the device itself.
DEVICE_KEYS = {"ACTION", "KERNEL", "SUBSYSTEM", "ATTR", "ENV", "TAG"}
# Keys matched against the device or one of its parents, all on the same one.
PARENT_KEYS = {"KERNELS", "SUBSYSTEMS", "ATTRS"}
ASSIGN_KEYS = {"ENV", "TAG", "MODE", "GROUP", "OWNER"}
MATCH_OPS = {"==", "!="}
ASSIGN_OPS = {"=", "+=", "-=", ":="}

KEY = re.compile(r'([A-Z_]+)(?:\{([^}]*)\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,\s*|$)')


@dataclass
class Device:
    subsystem: str
    kernel: str
    attrs: Dict[str, str] = field(default_factory=dict)
    env: Dict[str, str] = field(default_factory=dict)
    parent: Optional["Device"] = None
    action: str = "add"


@dataclass
class Key:
    name: str
    attr: Optional[str]
    op: str
    value: str
    line: int


@dataclass
class Outcome:
    env: Dict[str, str]
    tags: set
    assigned: Dict[str, str]


def parse(text):
    """The rules of a file, each a list of Keys; ValueError on what udev
    would not read or this reader does not know."""
    rules = []
    pending, first_line = "", 0
    for number, line in enumerate(text.splitlines(), 1):
        if not pending:
            first_line = number
        if line.endswith("\\"):
            pending += line[:-1]
            continue
        line, pending = (pending + line).strip(), ""
        if not line or line.startswith("#"):
            continue
        rules.append(_parse_rule(line, first_line))
    return rules


def _parse_rule(line, number):
    keys, pos = [], 0
    while pos < len(line):
        m = KEY.match(line, pos)
        if not m:
            raise ValueError(f"line {number}: cannot read {line[pos:]!r}")
        name, attr, op, value = m.group(1, 2, 3, 4)
        key = Key(name, attr, op, value, number)
        if op in MATCH_OPS and name not in DEVICE_KEYS | PARENT_KEYS:
            raise ValueError(f"line {number}: unsupported match key {name}")
        if op in ASSIGN_OPS and name not in ASSIGN_KEYS:
            raise ValueError(f"line {number}: unsupported assignment to {name}")
        if (attr is None) != (name not in {"ATTR", "ATTRS", "ENV"}):
            raise ValueError(f"line {number}: {name} {'needs' if attr is None else 'takes no'} {{name}}")
        if op in ASSIGN_OPS and ("$" in value or "%" in value):
            raise ValueError(f"line {number}: substitutions are not supported")
        keys.append(key)
        pos = m.end()
    return keys


def _pattern_matches(pattern, value):
    # udev values are shell globs with '|' between alternatives, case-sensitive.
    return any(fnmatch.fnmatchcase(value, alt) for alt in pattern.split("|"))


def _key_matches(key, value):
    if value is None:  # a missing attribute matches neither == nor !=
        return False
    found = _pattern_matches(key.value, value)
    return found if key.op == "==" else not found


def _device_value(key, device, env):
    if key.name == "ACTION":
        return device.action
    if key.name == "KERNEL":
        return device.kernel
    if key.name == "SUBSYSTEM":
        return device.subsystem
    if key.name == "ATTR":
        return device.attrs.get(key.attr)
    if key.name == "ENV":
        return env.get(key.attr, "")
    raise AssertionError(key.name)


def _tag_matches(key, tags):
    found = any(_pattern_matches(key.value, tag) for tag in tags)
    return found if key.op == "==" else not found


def _parent_matches(keys, device):
    node = device
    while node is not None:
        values = {"KERNELS": node.kernel, "SUBSYSTEMS": node.subsystem}
        if all(_key_matches(k, node.attrs.get(k.attr) if k.name == "ATTRS" else values[k.name])
               for k in keys):
            return True
        node = node.parent
    return False


def apply(rules, device):
    """What the rules leave on the device: its properties, tags and the
    other assignments (MODE, GROUP, OWNER)."""
    env, tags, assigned = dict(device.env), set(), {}
    for rule in rules:
        matches = [k for k in rule if k.op in MATCH_OPS]
        own = [k for k in matches if k.name in DEVICE_KEYS]
        parents = [k for k in matches if k.name in PARENT_KEYS]
        if not all(_tag_matches(k, tags) if k.name == "TAG" else
                   _key_matches(k, _device_value(k, device, env)) for k in own):
            continue
        if parents and not _parent_matches(parents, device):
            continue
        for key in (k for k in rule if k.op in ASSIGN_OPS):
            if key.name == "ENV":
                env[key.attr] = key.value
            elif key.name == "TAG":
                if key.op == "+=":
                    tags.add(key.value)
                elif key.op == "-=":
                    tags.discard(key.value)
                else:
                    tags = {key.value}
            else:
                assigned[key.name] = key.value
    return Outcome(env, tags, assigned)
