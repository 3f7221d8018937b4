"""Reads a PE32 or PE32+ file: the headers the build checks look at, the import table, and the
resources (the resource directory, dialog templates in the plain DLGTEMPLATE form, version blocks).
Our own small reader, so that the built files are checked field by field without any tool that
might interpret them for us."""

import struct

RT_DIALOG = 5
RT_VERSION = 16


class PeError(Exception):
    pass


DIRECTORY_IMPORT = 1
DIRECTORY_RESOURCE = 2
DIRECTORY_TLS = 9


class PeFile:
    """The headers, sections, imports and resource tree of one PE file."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, section_count, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic == 0x10B:
            self.is_pe32_plus = False
            self.image_base = struct.unpack_from("<I", data, optional + 28)[0]
            directories = optional + 96
        elif magic == 0x20B:
            self.is_pe32_plus = True
            self.image_base = struct.unpack_from("<Q", data, optional + 24)[0]
            directories = optional + 112
        else:
            raise PeError("unknown optional header magic 0x%x" % magic)
        self.size_of_image = struct.unpack_from("<I", data, optional + 56)[0]
        self.subsystem_version = struct.unpack_from("<HH", data, optional + 48)
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directory_count = struct.unpack_from("<I", data, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(directory_count)]
        self.resource_rva, self.resource_size = self.directory(DIRECTORY_RESOURCE)
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            name, vsize, rva, raw_size, raw_pointer = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), rva, max(vsize, raw_size), raw_pointer))

    def directory(self, index):
        """(RVA, size) of a data directory; (0, 0) when the file has none."""
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset_of(self, rva):
        for _, start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + (rva - start)
        raise PeError("RVA 0x%x lies in no section" % rva)

    def string(self, rva):
        start = self.offset_of(rva)
        end = self.data.find(b"\0", start)
        if end < 0:
            raise PeError("unterminated string at RVA 0x%x" % rva)
        return self.data[start:end].decode("latin-1")

    def imports(self):
        """[(dll, function name or '#ordinal')] in table order."""
        rva, _size = self.directory(DIRECTORY_IMPORT)
        found = []
        if rva == 0:
            return found
        entry = self.offset_of(rva)
        thunk_layout, ordinal_flag = ("<Q", 1 << 63) if self.is_pe32_plus else ("<I", 1 << 31)
        while True:
            lookup, _, _, name_rva, address = struct.unpack_from("<IIIII", self.data, entry)
            if lookup == 0 and name_rva == 0 and address == 0:
                return found
            dll = self.string(name_rva)
            thunk = self.offset_of(lookup or address)
            while True:
                value = struct.unpack_from(thunk_layout, self.data, thunk)[0]
                if value == 0:
                    break
                if value & ordinal_flag:
                    found.append((dll, "#%d" % (value & 0xFFFF)))
                else:
                    found.append((dll, self.string((value & 0x7FFFFFFF) + 2)))  # past the hint
                thunk += struct.calcsize(thunk_layout)
            entry += 20

    def resources(self):
        """Every resource as ((type, name, language), bytes); type and name are ints or strings."""
        if self.resource_rva == 0:
            return []
        base = self.offset_of(self.resource_rva)
        found = []

        def entries(directory_offset):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory_offset + 12)
            for i in range(named + numbered):
                name_field, target = struct.unpack_from("<II", self.data, base + directory_offset + 16 + 8 * i)
                if name_field & 0x80000000:
                    at = base + (name_field & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                else:
                    key = name_field
                yield key, target

        for type_key, type_target in entries(0):
            for name_key, name_target in entries(type_target & 0x7FFFFFFF):
                for language, leaf in entries(name_target & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise PeError("resource tree deeper than type/name/language")
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self.offset_of(data_rva)
                    found.append(((type_key, name_key, language), self.data[at:at + size]))
        return found


def read_pe(path):
    with open(path, "rb") as f:
        return PeFile(f.read())


# --- dialog templates -----------------------------------------------------------------------

class _Reader:
    def __init__(self, data, at=0):
        self.data = data
        self.at = at

    def word(self):
        value = struct.unpack_from("<H", self.data, self.at)[0]
        self.at += 2
        return value

    def short(self):
        value = struct.unpack_from("<h", self.data, self.at)[0]
        self.at += 2
        return value

    def dword(self):
        value = struct.unpack_from("<I", self.data, self.at)[0]
        self.at += 4
        return value

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
            if end >= len(self.data):
                raise PeError("unterminated string in resource")
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def text_or_ordinal(self):
        """A sz_Or_Ord field: None when empty, an int for 0xFFFF + ordinal, else the string."""
        first = struct.unpack_from("<H", self.data, self.at)[0]
        if first == 0:
            self.at += 2
            return None
        if first == 0xFFFF:
            self.at += 2
            return self.word()
        return self.text()

    def align(self, boundary):
        self.at = (self.at + boundary - 1) // boundary * boundary


DS_SETFONT = 0x40


def parse_dialog(data):
    """A plain DLGTEMPLATE and its DLGITEMTEMPLATEs as dicts; refuses the extended form."""
    r = _Reader(data)
    if struct.unpack_from("<HH", data, 0) == (1, 0xFFFF):
        raise PeError("extended dialog template (DIALOGEX)")
    dialog = {"style": r.dword(), "ex_style": r.dword()}
    count = r.word()
    dialog.update(x=r.short(), y=r.short(), cx=r.short(), cy=r.short())
    dialog["menu"] = r.text_or_ordinal()
    dialog["class"] = r.text_or_ordinal()
    dialog["caption"] = r.text()
    if dialog["style"] & DS_SETFONT:
        dialog["font_size"] = r.word()
        dialog["font"] = r.text()
    controls = []
    for _ in range(count):
        r.align(4)
        control = {"style": r.dword(), "ex_style": r.dword()}
        control.update(x=r.short(), y=r.short(), cx=r.short(), cy=r.short(), id=r.word())
        control["class"] = r.text_or_ordinal()
        control["text"] = r.text_or_ordinal()
        extra = r.word()
        control["creation_data"] = data[r.at:r.at + extra]
        r.at += extra
        controls.append(control)
    dialog["controls"] = controls
    return dialog


# --- version blocks -------------------------------------------------------------------------

def _version_node(data, at):
    """One VS_VERSIONINFO-style node: (key, value bytes, value type, children, end offset)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    r = _Reader(data, at + 6)
    key = r.text()
    r.align(4)
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[r.at:r.at + value_bytes]
    r.at += value_bytes
    end = at + length
    children = []
    r.align(4)
    while r.at < end:
        child = _version_node(data, r.at)
        children.append(child)
        r.at = child[4]
        r.align(4)
    return key, value, value_type, children, end


FIXED_FIELDS = ("signature", "struc_version", "file_version_ms", "file_version_ls", "product_version_ms",
                "product_version_ls", "file_flags_mask", "file_flags", "file_os", "file_type",
                "file_subtype", "file_date_ms", "file_date_ls")


def parse_version(data):
    """{'fixed': dict of VS_FIXEDFILEINFO, 'string_tables': {name: {key: text}}, 'translations':
    [(language, code page), ...]} of a version resource."""
    key, value, _, children, _ = _version_node(data, 0)
    if key != "VS_VERSION_INFO":
        raise PeError("version root is %r" % key)
    if len(value) != 52:
        raise PeError("fixed file info of %d bytes" % len(value))
    fixed = dict(zip(FIXED_FIELDS, struct.unpack("<13I", value)))
    tables = {}
    translations = []
    for child_key, _, _, grandchildren, _ in children:
        if child_key == "StringFileInfo":
            for table_key, _, _, strings, _ in grandchildren:
                table = tables.setdefault(table_key, {})
                for string_key, string_value, string_type, _, _ in strings:
                    if string_type != 1:
                        raise PeError("string %r is not stored as text" % string_key)
                    text = string_value.decode("utf-16-le")
                    table[string_key] = text.split("\0", 1)[0]
        elif child_key == "VarFileInfo":
            for var_key, var_value, _, _, _ in grandchildren:
                if var_key == "Translation":
                    for i in range(0, len(var_value) - 3, 4):
                        translations.append(struct.unpack_from("<HH", var_value, i))
        else:
            raise PeError("unknown version child %r" % child_key)
    return {"fixed": fixed, "string_tables": tables, "translations": translations}
