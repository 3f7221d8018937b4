#!/usr/bin/env python3
"""Checks a shipped program file (PE32 or PE32+) against what the target systems can load.

  pe_check.py size --limit BYTES FILE...     the file is at most BYTES long
  pe_check.py imports FILE...                imports only the allowed ANSI functions of the four DLLs
  pe_check.py headers FILE...                subsystem version 4.0 (Windows GUI), no TLS directory
  pe_check.py size-selftest --limit BYTES FILE
                                             the size check passes a copy of FILE cut or padded
                                             to BYTES and fails one padded to BYTES + 1

Exit code 0 when every check holds, 1 when one fails (each failure printed), 2 for bad input.
Standard library only.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "system", "harness"))
from pe_file import DIRECTORY_TLS, PeError, read_pe  # noqa: E402

# Every function the two programs call, by DLL: all of them are in Windows 98 (SetupAPI there
# too) and take ANSI strings where a Unicode twin exists.
ALLOWED_IMPORTS = {
    "kernel32.dll": {
        "DeleteFileA", "ExitProcess", "GetACP", "GetCommandLineA", "GetModuleFileNameA", "GetModuleHandleA",
        "GetStartupInfoA", "GetVersionExA", "GetWindowsDirectoryA", "IsDBCSLeadByteEx",
    },
    "advapi32.dll": {
        "RegCloseKey", "RegDeleteKeyA", "RegDeleteValueA", "RegEnumKeyExA", "RegEnumValueA", "RegOpenKeyExA",
        "RegQueryValueExA",
    },
    "user32.dll": {"DialogBoxParamA", "EndDialog", "ExitWindowsEx"},
    "setupapi.dll": {
        "SetupCloseInfFile", "SetupDefaultQueueCallbackA", "SetupInitDefaultQueueCallback",
        "SetupInstallFromInfSectionA", "SetupOpenInfFileA", "SetupTermDefaultQueueCallback",
    },
}
C_RUNTIMES = ("msvcrt", "msvcr", "ucrtbase", "api-ms-win-crt", "libgcc", "libstdc++", "libwinpthread")

IMAGE_SUBSYSTEM_WINDOWS_GUI = 2


def check_size(path, limit):
    size = os.path.getsize(path)
    if size > limit:
        return ["%d bytes, %d over the budget of %d" % (size, size - limit, limit)]
    return []


def check_imports(pe):
    failures = []
    for dll, function in pe.imports():
        key = dll.lower()
        if key.startswith(C_RUNTIMES):
            failures.append("imports %s from %s: a C runtime" % (function, dll))
        elif key not in ALLOWED_IMPORTS:
            failures.append("imports %s from %s, which is not one of the four system DLLs" % (function, dll))
        elif function.startswith("#"):
            failures.append("imports %s from %s by ordinal" % (function, dll))
        elif function.endswith("W"):
            failures.append("imports %s from %s: a Unicode function" % (function, dll))
        elif function not in ALLOWED_IMPORTS[key]:
            failures.append("imports %s from %s, which is not on the allow-list" % (function, dll))
    return failures


def check_headers(pe):
    failures = []
    if pe.subsystem_version != (4, 0):
        failures.append("subsystem version %d.%d, not 4.0" % pe.subsystem_version)
    if pe.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        failures.append("subsystem %d, not the Windows GUI (2)" % pe.subsystem)
    if pe.directory(DIRECTORY_TLS) != (0, 0):
        failures.append("has a TLS directory (RVA 0x%X, %d bytes)" % pe.directory(DIRECTORY_TLS))
    return failures


def run_checks(check, paths, limit):
    status = 0
    for path in paths:
        try:
            if check == "size":
                failures = check_size(path, limit)
            else:
                pe = read_pe(path)
                failures = check_imports(pe) if check == "imports" else check_headers(pe)
        except (OSError, PeError, struct.error) as error:
            print("%s: cannot read: %s" % (path, error))
            return 2
        for failure in failures:
            print("%s: %s" % (path, failure))
            status = 1
        if not failures:
            print("%s: %s check passed" % (path, check))
    return status


def size_selftest(path, limit):
    """Runs this script's size check on copies of `path` made exactly `limit` and `limit` + 1 long."""
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        for length, expected_status in ((limit, 0), (limit + 1, 1)):
            copy = os.path.join(scratch, "%d-%s" % (length, os.path.basename(path)))
            shutil.copyfile(path, copy)
            with open(copy, "r+b") as f:
                f.truncate(length)  # cuts, or pads with zero bytes
            result = subprocess.run([sys.executable, __file__, "size", "--limit", str(limit), copy],
                                    capture_output=True, text=True)
            print(result.stdout, end="")
            if result.returncode != expected_status:
                failures.append("the size check gave %d for a file of %d bytes, not %d"
                                % (result.returncode, length, expected_status))
    for failure in failures:
        print("self-test: " + failure)
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("check", choices=["size", "imports", "headers", "size-selftest"])
    parser.add_argument("--limit", type=int, help="size budget in bytes (size, size-selftest)")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    if args.check.startswith("size") and args.limit is None:
        parser.error("--limit is needed")
    if args.check == "size-selftest":
        return size_selftest(args.files[0], args.limit)
    return run_checks(args.check, args.files, args.limit)


if __name__ == "__main__":
    sys.exit(main())
