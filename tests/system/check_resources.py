#!/usr/bin/env python3
"""Reads the restart dialog and the version block back from a built program and compares them,
field by field, with the tables they were written from. Usage: check_resources.py PROGRAM FILE
where PROGRAM is setup or ZunHV5Un."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "harness"))
import pe_file as pe  # noqa: E402

LANGUAGE_UK = 0x0809
IDD_RESTART = 101
VS_VERSION_INFO = 1

MESSAGES = {
    "setup": "The drivers for your Zunmek HV5 Serial Mouse have been copied to your machine.  "
             "Please restart your machine to complete the installation.",
    "ZunHV5Un": "The drivers for your Zunmek HV5 Serial Mouse have been removed from your machine.  "
                "Please restart your machine to complete the uninstallation.",
}

BUTTON, STATIC = 0x80, 0x82


def expected_dialog(program):
    return {
        "style": 0x80C808C0, "ex_style": 0, "x": 0, "y": 0, "cx": 230, "cy": 95,
        "menu": None, "class": None, "caption": "Zunmek HV5 Serial Drivers",
        "font_size": 8, "font": "MS Sans Serif",
        "controls": [
            {"id": 1000, "class": BUTTON, "style": 0x50010001, "ex_style": 0, "x": 116, "y": 74, "cx": 50,
             "cy": 14, "text": "Restart Now", "creation_data": b""},
            {"id": 1001, "class": BUTTON, "style": 0x50010000, "ex_style": 0, "x": 173, "y": 74, "cx": 50,
             "cy": 14, "text": "Restart Later", "creation_data": b""},
            {"id": 65535, "class": STATIC, "style": 0x50020000, "ex_style": 0, "x": 17, "y": 15, "cx": 195,
             "cy": 43, "text": MESSAGES[program], "creation_data": b""},
        ],
    }


def version(file_version, product_version):
    def split(v):
        return (v[0] << 16) | v[1], (v[2] << 16) | v[3]
    fms, fls = split(file_version)
    pms, pls = split(product_version)
    return {"signature": 0xFEEF04BD, "struc_version": 0x00010000, "file_version_ms": fms, "file_version_ls": fls,
            "product_version_ms": pms, "product_version_ls": pls, "file_flags_mask": 0x3F, "file_flags": 0,
            "file_os": 0x40004, "file_type": 1, "file_subtype": 0, "file_date_ms": 0, "file_date_ls": 0}


EMPTY_STRINGS = {"Comments": "", "LegalTrademarks": "", "PrivateBuild": "", "SpecialBuild": ""}

EXPECTED_VERSIONS = {
    "setup": {
        "fixed": version((1, 0, 0, 5), (1, 0, 0, 1)),
        "string_tables": {"080904b0": dict(EMPTY_STRINGS, **{
            "CompanyName": "Zunmek Plc.", "FileDescription": "Zunmek HV5 Serial Mouse Drivers",
            "FileVersion": "1, 0, 0, 3", "InternalName": "Setup", "OriginalFilename": "Setup.exe",
            "ProductName": "Setup HV5 Serial Drivers", "ProductVersion": "1, 0, 0, 1"})},
        "translations": [(LANGUAGE_UK, 1200)],
    },
    "ZunHV5Un": {
        "fixed": version((1, 0, 0, 1), (1, 0, 0, 1)),
        "string_tables": {"080904b0": dict(EMPTY_STRINGS, **{
            "CompanyName": "Zunmek Plc.", "FileDescription": "Uninstall HV5 Serial Drivers",
            "FileVersion": "1, 0, 0, 1", "InternalName": "HV5Uninstall", "OriginalFilename": "ZunHV5Un.exe",
            "ProductName": "Uninstall for HV5 serial drivers", "ProductVersion": "1, 0, 0, 1"})},
        "translations": [(LANGUAGE_UK, 1200)],
    },
}


def differences(path, expected, actual):
    """Lines naming every field where actual differs from expected (dicts and lists walked)."""
    if isinstance(expected, dict) and isinstance(actual, dict):
        lines = []
        for key in sorted(set(expected) | set(actual), key=str):
            if key not in actual:
                lines.append("%s.%s: missing (expected %r)" % (path, key, expected[key]))
            elif key not in expected:
                lines.append("%s.%s: unexpected %r" % (path, key, actual[key]))
            else:
                lines += differences("%s.%s" % (path, key), expected[key], actual[key])
        return lines
    if isinstance(expected, list) and isinstance(actual, list) and len(expected) == len(actual):
        lines = []
        for i, (e, a) in enumerate(zip(expected, actual)):
            lines += differences("%s[%d]" % (path, i), e, a)
        return lines
    if expected != actual or type(expected) is not type(actual):
        show = (lambda v: "0x%X" % v) if isinstance(expected, int) and not isinstance(expected, bool) else repr
        try:
            return ["%s: expected %s, got %s" % (path, show(expected), show(actual))]
        except TypeError:
            return ["%s: expected %r, got %r" % (path, expected, actual)]
    return []


def check(program, path):
    failures = []
    resources = pe.read_pe(path).resources()
    keys = sorted(key for key, _ in resources)
    wanted = [(pe.RT_DIALOG, IDD_RESTART, LANGUAGE_UK), (pe.RT_VERSION, VS_VERSION_INFO, LANGUAGE_UK)]
    if keys != wanted:
        failures.append("resources (type, name, language): expected %r, got %r" % (wanted, keys))
    by_key = dict(resources)
    dialog = by_key.get((pe.RT_DIALOG, IDD_RESTART, LANGUAGE_UK))
    if dialog is None:
        failures.append("no dialog %d in language 0x%04X" % (IDD_RESTART, LANGUAGE_UK))
    else:
        failures += differences("dialog", expected_dialog(program), pe.parse_dialog(dialog))
    block = by_key.get((pe.RT_VERSION, VS_VERSION_INFO, LANGUAGE_UK))
    if block is None:
        failures.append("no version block in language 0x%04X" % LANGUAGE_UK)
    else:
        failures += differences("version", EXPECTED_VERSIONS[program], pe.parse_version(block))
    return failures


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in MESSAGES:
        sys.exit("usage: check_resources.py {setup|ZunHV5Un} FILE")
    program, path = sys.argv[1:]
    failures = check(program, path)
    for line in failures:
        print("FAIL %s: %s" % (os.path.basename(path), line))
    if failures:
        sys.exit(1)
    print("%s: dialog %d and version block match their tables, language 0x%04X" % (path, IDD_RESTART, LANGUAGE_UK))


if __name__ == "__main__":
    main()
