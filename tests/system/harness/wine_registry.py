"""Wine's registry as it lies in a prefix's files (system.reg, user.reg), and our .reg fixtures.

Keys are tuples of name components; values map a name (None for the default value) to a
(kind, data) pair: ('sz', text), ('expand_sz', text), ('dword', int) or ('hex(N)', bytes).
Registry names compare without regard to case, so lookups fold case; the stored spelling stays
for messages."""

import codecs
import re


class RegistryError(Exception):
    pass


_SIMPLE_ESCAPES = {"a": "\a", "b": "\b", "e": "\x1b", "f": "\f", "n": "\n", "r": "\r", "t": "\t", "v": "\v"}


def _unescape(text, at, terminator):
    """Reads Wine's escaped string from text[at] up to the unescaped terminator: (string, next)."""
    out = []
    while at < len(text):
        c = text[at]
        if c == terminator:
            return "".join(out), at + 1
        if c != "\\":
            out.append(c)
            at += 1
            continue
        at += 1
        if at >= len(text):
            break
        c = text[at]
        if c == "x":
            digits = re.match(r"[0-9a-fA-F]{1,4}", text[at + 1:])
            if not digits:
                out.append("x")
                at += 1
            else:
                out.append(chr(int(digits.group(0), 16)))
                at += 1 + len(digits.group(0))
        elif c in "01234567":
            digits = re.match(r"[0-7]{1,3}", text[at:]).group(0)
            out.append(chr(int(digits, 8)))
            at += len(digits)
        else:
            out.append(_SIMPLE_ESCAPES.get(c, c))
            at += 1
    raise RegistryError("unterminated string: %r" % text)


def _hex_bytes(text):
    text = text.replace("\\\n", "").replace(" ", "").replace("\n", "").strip(",")
    return bytes(int(part, 16) for part in text.split(",")) if text else b""


class Registry:
    """One hive: key path -> {value name -> (kind, data)}; keys with no values are present too."""

    def __init__(self):
        self.keys = {}  # folded path tuple -> (spelled path tuple, {folded value name: (name, kind, data)})

    @staticmethod
    def _fold(path):
        return tuple(part.lower() for part in path)

    @staticmethod
    def split(path):
        return tuple(part for part in path.split("\\") if part)

    def add_key(self, path):
        path = self.split(path) if isinstance(path, str) else tuple(path)
        for depth in range(1, len(path) + 1):
            self.keys.setdefault(self._fold(path[:depth]), (path[:depth], {}))
        return self.keys[self._fold(path)][1]

    def set_value(self, path, name, kind, data):
        values = self.add_key(path)
        values[None if name is None else name.lower()] = (name, kind, data)

    def has_key(self, path):
        return self._fold(self.split(path)) in self.keys

    def subkeys(self, path):
        folded = self._fold(self.split(path))
        return sorted(spelled[-1] for key, (spelled, _) in self.keys.items()
                      if len(key) == len(folded) + 1 and key[:len(folded)] == folded)

    def values(self, path):
        """{name: (kind, data)} of one key, or None when the key does not exist."""
        entry = self.keys.get(self._fold(self.split(path)))
        if entry is None:
            return None
        return {name: (kind, data) for name, kind, data in entry[1].values()}

    def value(self, path, name):
        values = self.values(path)
        if values is None:
            return None
        for value_name, typed in values.items():
            if (value_name or "").lower() == (name or "").lower() and (value_name is None) == (name is None):
                return typed
        return None

    def flat(self, below=()):
        """{'Key\\Path': None} for every key and {'Key\\Path' + ' [name]': (kind, data)} for every value,
        with keys folded to lower case so that two snapshots compare without regard to case."""
        below = self._fold(self.split(below) if isinstance(below, str) else below)
        flat = {}
        for folded, (spelled, values) in self.keys.items():
            if folded[:len(below)] != below:
                continue
            key = "\\".join(spelled)
            flat[("\\".join(folded),)] = (key, None)
            for folded_name, (name, kind, data) in values.items():
                flat[("\\".join(folded), folded_name)] = (key, name, kind, data)
        return flat


def parse_wine_hive(text):
    """A Registry from the text of a Wine hive file (system.reg, user.reg)."""
    registry = Registry()
    current = None
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        # A value's hex data may go on over several lines, each ending in a backslash.
        while line.endswith("\\") and i + 1 < len(lines) and not line.endswith("\\\\"):
            i += 1
            line = line[:-1] + lines[i].strip()
        i += 1
        if not line or line.startswith(";") or line.startswith("#") or line.startswith("WINE REGISTRY"):
            continue
        if line.startswith("["):
            name, _ = _unescape(line, 1, "]")
            current = Registry.split(name)
            registry.add_key(current)
            continue
        if current is None:
            raise RegistryError("value outside a key: %r" % line)
        if line.startswith("@="):
            name, rest = None, line[2:]
        elif line.startswith('"'):
            name, at = _unescape(line, 1, '"')
            if line[at:at + 1] != "=":
                raise RegistryError("bad value line: %r" % line)
            rest = line[at + 1:]
        else:
            raise RegistryError("bad line: %r" % line)
        registry.set_value(current, name, *_parse_data(rest))
    return registry


def _parse_data(rest):
    if rest.startswith('"'):
        return "sz", _unescape(rest, 1, '"')[0]
    match = re.match(r"str\((\d+)\):\"", rest)
    if match:
        kind = {"2": "expand_sz"}.get(match.group(1), "str(%s)" % match.group(1))
        return kind, _unescape(rest, match.end(), '"')[0]
    if rest.startswith("dword:"):
        return "dword", int(rest[6:], 16)
    match = re.match(r"hex(?:\((\w+)\))?:", rest)
    if match:
        return "hex(%d)" % int(match.group(1) or "3", 16), _hex_bytes(rest[match.end():])
    raise RegistryError("unknown value data: %r" % rest)


def read_hive(path):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        return parse_wine_hive(f.read())


def describe(kind, data):
    """A value as a person reads it."""
    if kind in ("sz", "expand_sz") or kind.startswith("str("):
        return '"%s"' % data
    if kind == "dword":
        return "0x%08X" % data
    return "%s:%s" % (kind, ",".join("%02x" % b for b in data))


def fixture_for_import(text):
    """Our .reg fixtures are UTF-8 text in the format of "Windows Registry Editor Version 5.00";
    reg.exe reads that format as UTF-16 with a byte order mark."""
    if not text.startswith("Windows Registry Editor Version 5.00"):
        raise RegistryError("a fixture starts with 'Windows Registry Editor Version 5.00'")
    return codecs.BOM_UTF16_LE + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-16-le")
