#!/usr/bin/env python3
"""Tests of the harness's own readers, on small hand-made inputs: a reader that drops or garbles
what it reads would let the system tests pass over a fault."""

import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import changes  # noqa: E402
import pe_file  # noqa: E402
import relay_trace  # noqa: E402
import wine_registry  # noqa: E402
from relay_trace import ANY, Sym, expect  # noqa: E402


class RelayArgumentsTest(unittest.TestCase):
    def test_numbers_and_strings(self):
        self.assertEqual(relay_trace.parse_args('ffffffff80000002,140002012 "Enum\\\\Root",00000000,000f003f'),
                         [0xFFFFFFFF80000002, (0x140002012, "Enum\\Root"), 0, 0xF003F])

    def test_a_comma_or_quote_inside_a_string_is_part_of_it(self):
        self.assertEqual(relay_trace.parse_args('0021f620 "a,b\\"c",00000001'), [(0x21F620, 'a,b"c'), 1])

    def test_code_page_bytes_come_back_as_bytes(self):
        self.assertEqual(relay_trace.parse_args('0021fb38 "P:\\\\pkg\\x95\\\\\\\\zunmouse.inf"'),
                         [(0x21FB38, "P:\\pkg\x95\\\\zunmouse.inf")])

    def test_a_cut_string_is_marked(self):
        self.assertEqual(relay_trace.parse_args('00000010 "abc"...,00000002'),
                         [(0x10, "abc" + relay_trace.TRUNCATED), 2])

    def test_no_arguments(self):
        self.assertEqual(relay_trace.parse_args(""), [])


TRACE = "\n".join([
    "0020:trace:loaddll:build_module Loaded L\"C:\\\\windows\\\\system32\\\\wineboot.exe\" at 0000000140000000: builtin",
    "0024:trace:loaddll:build_module Loaded L\"Z:\\\\pkg\\\\setup.exe\" at 0000000140000000: native",
    "0024:Call KERNEL32.GetVersionExA(0021f89c) ret=140001020",
    "0024:Ret  KERNEL32.GetVersionExA() retval=00000001 ret=140001020",
    # Another process at the same base, and a call from a system DLL on the program's thread.
    "0030:Call advapi32.RegCloseKey(00000010) ret=140001111",
    "0030:Ret  advapi32.RegCloseKey() retval=00000000 ret=140001111",
    "0024:Call setupapi.SetupInstallFromInfSectionA(00000000,0037d470,140002067 \"Setup\") ret=14000127c",
    "0024:Call setupapi.SetupDefaultQueueCallbackA(003802b0,00000001,00000000,00000000) ret=36d88b4de",
    "0024:Ret  setupapi.SetupDefaultQueueCallbackA() retval=00000001 ret=36d88b4de",
    "0024:Ret  setupapi.SetupInstallFromInfSectionA() retval=00000001 ret=14000127c",
    "0024:Call user32.ExitWindowsEx(00000002,00000000) ret=140001141",
])


class ProgramCallsTest(unittest.TestCase):
    def test_own_thread_and_image_only(self):
        calls = relay_trace.program_calls(TRACE, 0x6000)
        self.assertEqual([(c.function, c.result) for c in calls],
                         [("GetVersionExA", 1), ("SetupInstallFromInfSectionA", 1), ("ExitWindowsEx", None)])

    def test_whole_thread(self):
        calls = relay_trace.program_calls(TRACE, 0x6000, own_image_only=False)
        self.assertEqual([c.function for c in calls], ["GetVersionExA", "SetupInstallFromInfSectionA",
                                                       "SetupDefaultQueueCallbackA", "ExitWindowsEx"])

    def test_no_program_in_the_trace(self):
        with self.assertRaises(relay_trace.TraceError):
            relay_trace.program_calls(TRACE.split("\n", 2)[0], 0x6000)


class MatchCallsTest(unittest.TestCase):
    def calls(self):
        return relay_trace.program_calls(TRACE, 0x6000)

    def test_agreeing_sequence(self):
        self.assertEqual(relay_trace.match_calls([
            expect("GetVersionExA", ANY, ret=1),
            expect("SetupInstallFromInfSectionA", 0, Sym("inf"), "Setup", ret=1),
            expect("ExitWindowsEx", 2, 0)], self.calls()), [])

    def test_argument_result_and_length_differences_are_reported(self):
        for expected in (
                [expect("GetVersionExA", ANY, ret=0)],
                [expect("GetVersionExA", 5, ret=1)],
                [expect("GetVersionExA", ANY, ret=1), expect("SetupInstallFromInfSectionA", 0, ANY, "SetupX")],
                [expect("GetVersionExA", ANY, ret=1)],
        ):
            self.assertNotEqual(relay_trace.match_calls(expected, self.calls()), [], expected)

    def test_a_symbol_keeps_its_first_value(self):
        trace = "\n".join([TRACE.split("\n")[1],
                           "0024:Call advapi32.RegCloseKey(00000010) ret=140001000",
                           "0024:Call advapi32.RegCloseKey(00000014) ret=140001000"])
        calls = relay_trace.program_calls(trace, 0x6000)
        self.assertNotEqual(relay_trace.match_calls([expect("RegCloseKey", Sym("k")), expect("RegCloseKey", Sym("k"))],
                                                    calls), [])
        self.assertEqual(relay_trace.match_calls([expect("RegCloseKey", Sym("k")), expect("RegCloseKey", Sym("j"))],
                                                 calls), [])

    def test_upper_half_of_a_32_bit_argument_is_ignored(self):
        trace = TRACE.split("\n")[1] + "\n0024:Call setupapi.X(100000404) ret=140001000"
        self.assertEqual(relay_trace.match_calls([expect("X", 0x404)], relay_trace.program_calls(trace, 0x6000)), [])

    def test_a_cut_string_matches_what_begins_with_it(self):
        trace = TRACE.split("\n")[1] + '\n0024:Call setupapi.X(00000010 "Z:\\\\abc"...) ret=140001000'
        calls = relay_trace.program_calls(trace, 0x6000)
        self.assertEqual(relay_trace.match_calls([expect("X", "Z:\\abcdef")], calls), [])
        self.assertNotEqual(relay_trace.match_calls([expect("X", "Z:\\abd")], calls), [])


HIVE = r'''WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Enum\\Root\\*PNP0F0C\\0000] 1796960191
#time=1dd8920d06553c0
@="def"
"Class"="Mouse"
"Wert\"\xe4\\1"="D\xe4\"ta\\x"
"N"=dword:00000005
"B"=hex:41,42,\
  00
"E"=str(2):"%windir%"
"Long"="\x88681\x00e41\xe4g"

[Software\\Zunmek] 1796960161
'''


class WineHiveTest(unittest.TestCase):
    # Wine writes a character outside printable ASCII as \x and its code, in four digits when a hex
    # digit follows: "\x88681" is U+8868 and then "1".
    def setUp(self):
        self.registry = wine_registry.parse_wine_hive(HIVE)

    def test_values(self):
        self.assertEqual(self.registry.values("Enum\\Root\\*PNP0F0C\\0000"), {
            None: ("sz", "def"), "Class": ("sz", "Mouse"), 'Wert"\xe4\\1': ("sz", 'D\xe4"ta\\x'),
            "N": ("dword", 5), "B": ("hex(3)", b"AB\0"), "E": ("expand_sz", "%windir%"),
            "Long": ("sz", "\u88681\xe41\xe4g")})

    def test_keys_fold_case_and_parents_exist(self):
        self.assertTrue(self.registry.has_key("ENUM\\root"))
        self.assertEqual(self.registry.subkeys("Enum\\Root"), ["*PNP0F0C"])
        self.assertEqual(self.registry.values("Software\\Zunmek"), {})
        self.assertIsNone(self.registry.values("Software\\Other"))

    def test_changes_name_the_topmost_removed_key_and_changed_values(self):
        after = wine_registry.parse_wine_hive(HIVE.replace('"Class"="Mouse"', '"Class"="Keyboard"')
                                              .split("[Software")[0])
        self.assertEqual(changes.registry_changes(self.registry, after), [
            "- key HKLM\\Software",
            '~ value HKLM\\Enum\\Root\\*PNP0F0C\\0000 [Class]: "Mouse" -> "Keyboard"'])

    def test_fixture_is_utf16_with_a_byte_order_mark(self):
        data = wine_registry.fixture_for_import("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n")
        self.assertEqual(data[:2], b"\xff\xfe")
        self.assertEqual(data[2:].decode("utf-16-le"), "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n")


def dialog_bytes():
    """A DIALOG template with one control, as a resource compiler lays it out."""
    def text(s):
        return s.encode("utf-16-le") + b"\0\0"
    head = struct.pack("<IIHhhhh", 0x80C808C0, 0, 1, 0, 0, 230, 95) + b"\0\0" + b"\0\0" + text("Cap")
    head += struct.pack("<H", 8) + text("MS Sans Serif")
    head += b"\0" * (-len(head) % 4)
    item = struct.pack("<IIhhhhH", 0x50010001, 0, 116, 74, 50, 14, 1000) + b"\xff\xff\x80\x00" + text("Now") + b"\0\0"
    return head + item


class DialogTemplateTest(unittest.TestCase):
    def test_fields(self):
        dialog = pe_file.parse_dialog(dialog_bytes())
        self.assertEqual((dialog["style"], dialog["cx"], dialog["cy"], dialog["menu"], dialog["class"],
                          dialog["caption"], dialog["font_size"], dialog["font"]),
                         (0x80C808C0, 230, 95, None, None, "Cap", 8, "MS Sans Serif"))
        self.assertEqual(dialog["controls"], [{"style": 0x50010001, "ex_style": 0, "x": 116, "y": 74, "cx": 50, "cy": 14,
                                               "id": 1000, "class": 0x80, "text": "Now", "creation_data": b""}])

    def test_extended_template_is_refused(self):
        with self.assertRaises(pe_file.PeError):
            pe_file.parse_dialog(struct.pack("<HH", 1, 0xFFFF) + b"\0" * 40)


if __name__ == "__main__":
    unittest.main()
