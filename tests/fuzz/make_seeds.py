#!/usr/bin/env python3
"""Writes the hand-made seeds of the fuzz corpus (corpus/*/seed-*) from readable descriptions.

The byte layouts are those that registry_case.cpp and module_path_fuzz.cpp decode; a seed that
decodes to something else still runs, so check a changed seed with ZUN_FUZZ_VERBOSE=1, which
makes the targets print what they decoded. Run from anywhere: python3 tests/fuzz/make_seeds.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- registry_fuzz -------------------------------------------------------------------------
AREAS = ["Enum\\Root", "System\\CurrentControlSet\\Services\\class\\mouse",
         "System\\CurrentControlSet\\Control\\ASD\\Prob", "Software\\Zunmek"]
ROOT, CLASS, PROB, OTHER = AREAS
KEY_WORDS = ["0000", "0001", "*PNP0F0C", "ZMK8001", "Mouse", "Class"]
VALUE_WORDS = ["Class", "MouseDriver", "SERENUM\\ZMK8001", "ROOT\\ZMK8001", "SERENUM\\ZMK800", "ROOT\\ZMK800",
               "serenum\\ZMK8001", "ROOT\\zmk8001", "SERENUM\\ZMK8001\\0000", " ROOT\\ZMK8001",
               "ACPI\\SERENUM\\ZMK8001", ""]
DATA_WORDS = ["Mouse", "zunmouse.vxd", "Mous", "Mouse ", "zunmouse.vxd ", "C:\\WINDOWS\\SYSTEM\\zunmouse.vxd",
              "Keyboard", ""]
CODES = [5, 2, 6, 87, 234, 259, 1018]


class RegistrySeed:
    def __init__(self, nt=False, leave_out=()):
        self.keys = [a for a in AREAS if a not in leave_out]
        self.values = []
        header = 1 if nt else 0
        for i, area in enumerate(AREAS):
            if area in leave_out:
                header |= 2 << i
        self.out = bytearray([header])

    def key_index(self, path):
        return self.keys.index(path)

    @staticmethod
    def name(text, words):
        """A name as raw bytes (form 1), or as a dictionary word (form 0) when it is one."""
        raw = text.encode("latin-1")
        if text in words:
            return bytes([0, words.index(text)])
        assert len(raw) < 256
        return bytes([1, len(raw)]) + raw

    @staticmethod
    def long_name(length, word, fill, words):
        """Form 3: `word` padded with `fill` to `length` (240 to 300) bytes."""
        return bytes([3, length - 240, words.index(word), ord(fill)])

    def key(self, parent, name, encoded=None):
        self.out += bytes([0, self.key_index(parent)]) + (encoded or self.name(name, KEY_WORDS))
        self.keys.append(parent + "\\" + name)
        return self.keys[-1]

    def long_key(self, parent, length, word, fill):
        return self.key(parent, word + fill * (length - len(word)), self.long_name(length, word, fill, KEY_WORDS))

    def value(self, path, name, data, encoded_name=None):
        """`data`: ("sz", word, case mask) with its NUL, ("bare", word, mask) without, or ("raw", bytes)."""
        self.out += bytes([3, self.key_index(path)]) + (encoded_name or self.name(name, VALUE_WORDS)) + bytes([1])
        kind = data[0]
        if kind == "raw":
            self.out += bytes([3, len(data[1])]) + data[1]
        elif kind == "long":  # word, NUL and filler to `length` (250 to 300) bytes
            self.out += bytes([4, DATA_WORDS.index(data[1]), 0, data[2] - 250, ord("x")])
        else:
            self.out += bytes([0 if kind == "sz" else 1, DATA_WORDS.index(data[1]), data[2] if len(data) > 2 else 0])
        self.values.append(name)

    def long_value(self, path, length, word, fill, data):
        name = word + fill * (length - len(word))
        self.value(path, name, data, self.long_name(length, word, fill, VALUE_WORDS))

    def refuse_open(self, path, form=0):
        """form 0: by the key's name, 1: its name with \\0000, 2: its whole path."""
        self.out += bytes([5, form, self.key_index(path), 0])

    def refuse_delete_key(self, path):
        self.out += bytes([5, 3, self.key_index(path), 0])

    def refuse_delete_value(self, name):
        self.out += bytes([6, 2, self.values.index(name), 0])

    def refuse_query(self, name):
        self.out += bytes([6, 1, self.values.index(name), 0])

    def refuse_enumeration(self, path, values=False):
        self.out += bytes([7, 1 if values else 0, self.key_index(path), 0])


def device(seed, name, data=None):
    key = seed.key(ROOT, name)
    if data is not None:
        seed.value(seed.key(key, "0000"), "Class", data)
    return key


def class_key(seed, name, data):
    key = seed.key(CLASS, name)
    seed.value(key, "MouseDriver", data)
    return key


def registry_seeds():
    seeds = {}

    s = RegistrySeed()
    device(s, "DEV1", ("sz", "Mouse"))
    device(s, "DEV2", ("sz", "Keyboard"))
    third = device(s, "DEV3", ("sz", "Mouse", 0xFF))  # MOUSE
    s.key(third, "0001")
    device(s, "DEV4")
    device(s, "DEV5", ("bare", "Mouse"))
    device(s, "DEV6", ("sz", "Mouse "))
    device(s, "DEV7", ("raw", b"mOuSe\0tail"))
    device(s, "DEV8", ("long", "Mouse", 257))
    device(s, "DEV9", ("long", "Mouse", 256))
    seeds["root-devices"] = s

    s = RegistrySeed(nt=True)
    device(s, "DEV1", ("sz", "Mouse"))
    bare = s.key(ROOT, "BARE")
    s.value(bare, "Class", ("sz", "Mouse"))
    class_key(s, "0000", ("sz", "zunmouse.vxd"))
    nested = class_key(s, "0001", ("sz", "zunmouse.vxd"))
    s.key(nested, "sub")
    seeds["nt-delete-mode"] = s

    s = RegistrySeed()
    class_key(s, "0000", ("sz", "zunmouse.vxd"))
    class_key(s, "0001", ("sz", "zunmouse.vxd", 0x55))
    class_key(s, "0002", ("sz", "C:\\WINDOWS\\SYSTEM\\zunmouse.vxd"))
    class_key(s, "0003", ("sz", "zunmouse.vxd "))
    class_key(s, "0004", ("bare", "zunmouse.vxd"))
    class_key(s, "0005", ("raw", b"zunmouse.vxd\0"))
    class_key(s, "0006", ("raw", b"ZUNMOUSE.VX\xc4\0"))
    seeds["class-keys"] = s

    s = RegistrySeed()
    first = s.key(PROB, "0000")
    for name in ["ROOT\\ZMK8001", "SERENUM\\ZMK8001", "SERENUM\\ZMK8001\\0000", "ROOT\\ZMK8001\\1", "ROOT\\ZMK800",
                 " ROOT\\ZMK8001", "ACPI\\SERENUM\\ZMK8001", ""]:
        s.value(first, name, ("sz", "Mouse"))
    second = s.key(PROB, "0001")
    s.value(second, "ROOT\\ZMK8001", ("raw", b"\1\2\3"))
    s.value(second, "Other", ("raw", b""))
    s.value(second, "serenum\\ZMK8001", ("bare", "Mouse"))  # other letter case: not a record
    s.value(second, "ROOT\\zmk8001", ("bare", "Mouse"))
    s.key(PROB, "empty")
    seeds["problem-records"] = s

    s = RegistrySeed()
    device(s, "DEV1", ("sz", "Mouse"))
    s.long_key(ROOT, 256, "0000", "L")
    device(s, "DEV2", ("sz", "Mouse"))
    s.value(s.long_key(ROOT, 251, "0001", "n") + "", "x", ("sz", "Mouse"))  # no "0000": stays either way
    wide = s.long_key(ROOT, 250, "0000", "w")
    s.value(s.key(wide, "0000"), "Class", ("sz", "Mouse"))
    too_wide = s.long_key(ROOT, 251, "0000", "v")
    s.value(s.key(too_wide, "0000"), "Class", ("sz", "Mouse"))
    records = s.key(PROB, "0000")
    s.value(records, "ROOT\\ZMK8001", ("sz", "Mouse"))
    s.long_value(records, 256, "ROOT\\ZMK8001", "z", ("sz", "Mouse"))
    s.value(records, "SERENUM\\ZMK8001", ("sz", "Mouse"))
    s.long_key(PROB, 300, "ZMK8001", "q")
    s.value(s.key(PROB, "late"), "ROOT\\ZMK8001", ("sz", "Mouse"))
    seeds["long-names"] = s

    s = RegistrySeed()
    d1 = device(s, "DEV1", ("sz", "Mouse"))
    d2 = device(s, "DEV2", ("sz", "Mouse"))
    d3 = device(s, "DEV3", ("sz", "Mouse"))
    s.refuse_open(d1, 1)
    s.refuse_delete_key(d2)
    c1 = class_key(s, "0000", ("sz", "zunmouse.vxd"))
    s.refuse_open(c1)
    records = s.key(PROB, "records")
    for name in ["ROOT\\ZMK8001\\1", "ROOT\\ZMK8001\\2", "ROOT\\ZMK8001\\3"]:
        s.value(records, name, ("sz", "Mouse"))
    s.refuse_delete_value("ROOT\\ZMK8001\\2")
    closed = s.key(PROB, "closed")
    s.value(closed, "SERENUM\\ZMK8001", ("sz", "Mouse"))
    s.refuse_open(closed)
    unlisted = s.key(PROB, "unlisted")
    s.value(unlisted, "SERENUM\\ZMK8001", ("sz", "Mouse"))
    s.refuse_enumeration(unlisted, values=True)
    seeds["refusals"] = s

    s = RegistrySeed()
    device(s, "DEV1", ("sz", "Mouse"))
    class_key(s, "0000", ("sz", "zunmouse.vxd"))
    s.value(s.key(PROB, "0000"), "ROOT\\ZMK8001", ("sz", "Mouse"))
    s.refuse_open(ROOT, 2)
    s.refuse_enumeration(CLASS)
    s.refuse_open(PROB, 2)
    s.value(s.key(OTHER, "ROOT"), "ROOT\\ZMK8001", ("sz", "Mouse"))
    seeds["swept-keys-refused"] = s

    s = RegistrySeed(leave_out=(ROOT, PROB))
    class_key(s, "0000", ("sz", "zunmouse.vxd"))
    seeds["keys-missing"] = s
    return seeds


# ---- module_path_fuzz ----------------------------------------------------------------------
def module_path(path, code_page=1252, pad=0, pad_byte=b"a", pad_at=0):
    """`path` as bytes; `pad` bytes of `pad_byte` are inserted at `pad_at` (both at most 255)."""
    assert b"\0" not in path
    return bytes([1 if code_page == 932 else 0, pad, pad_byte[0], pad_at]) + path


def module_path_seeds():
    return {
        "ordinary": module_path(b"C:\\Drivers\\Mouse\\setup.exe"),
        "drive-root": module_path(b"A:\\setup.exe"),
        "unc": module_path(b"\\\\server\\share\\drivers\\setup.exe"),
        "forward-slashes": module_path(b"C:/Drivers/Mouse/setup.exe"),
        "no-separator": module_path(b"setup.exe"),
        "empty": module_path(b""),
        "cp932-folder-trail-5c": module_path(b"C:\\pkg\x95\\\\setup.exe", 932),
        "cp932-file-trail-5c": module_path(b"C:\\pkg\\set\x95\\.exe", 932),
        "cp1252-same-bytes": module_path(b"C:\\pkg\\set\x95\\.exe", 1252),
        "cp932-lead-byte-last": module_path(b"C:\\pkg\\\x81", 932),
        "cp932-lead-bytes": module_path(b"\xe0\\\x81/\x9f\\\xfc:\\a\\b", 932),
        # package directory of 246 bytes (the INF path just fits) and of 247
        "package-directory-246": module_path(b"C:\\\\s.exe", pad=243, pad_byte=b"p", pad_at=3),
        "package-directory-247": module_path(b"C:\\\\s.exe", pad=244, pad_byte=b"p", pad_at=3),
        # directory parts of 255 and 256 bytes
        "directory-of-255-bytes": module_path(b"\\\\s", pad=253, pad_byte=b"d", pad_at=1),
        "directory-of-256-bytes": module_path(b"\\\\s", pad=254, pad_byte=b"d", pad_at=1),
        # module paths of 259 bytes (fits) and 260 (cut by the query)
        "module-path-259": module_path(b"C:\\" + b"f" * 56, pad=200, pad_byte=b"f", pad_at=3),
        "module-path-260": module_path(b"C:\\" + b"f" * 57, pad=200, pad_byte=b"f", pad_at=3),
        "module-path-300": module_path(b"C:\\" + b"\\" * 100, pad=255, pad_byte=b"\x81", pad_at=3, code_page=932),
    }


def write(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(data if isinstance(data, (bytes, bytearray)) else data.out)


write(os.path.join(HERE, "corpus", "registry_fuzz"), registry_seeds())
write(os.path.join(HERE, "corpus", "module_path_fuzz"), module_path_seeds())
