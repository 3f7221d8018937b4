#!/usr/bin/env python3
"""End-to-end cases: setup.exe and ZunHV5Un.exe of the win64 build on Wine's own registry, SetupAPI
and dialog manager, each case in a fresh copy of the prepared prefix, with its own virtual display.

  wine_cases.py prepare --template DIR
  wine_cases.py run CASE --template DIR --work DIR --setup EXE --uninstall EXE --package DIR
  wine_cases.py list

Every case checks what it can read back: the registry as Wine wrote it to the prefix's files, the
files in the Windows directory, the exit code, the prompt, and the program's own calls in Wine's
relay trace."""

import argparse
import inspect
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "harness"))
import changes  # noqa: E402
import pe_file  # noqa: E402
import wine_case  # noqa: E402
from relay_trace import ANY, Sym, expect, match_calls  # noqa: E402

FIXTURES = os.path.join(HERE, "fixtures")

HKLM = 0x80000002
KEY_ALL_ACCESS = 0xF003F
ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NO_MORE_ITEMS = 0, 2, 5, 259
INVALID_HANDLE_VALUE = 0xFFFFFFFFFFFFFFFF
IDD_RESTART, IDC_RESTART_NOW, IDC_RESTART_LATER = 101, 1000, 1001
EWX_REBOOT = 2

ROOT_DEVICES = "HKLM\\Enum\\Root"
MOUSE_CLASS = "HKLM\\System\\CurrentControlSet\\Services\\class\\mouse"
PROBLEMS = "HKLM\\System\\CurrentControlSet\\Control\\ASD\\Prob"
LMOUSE = "HKLM\\System\\CurrentControlSet\\Services\\VxD\\LMOUSE"
PRODUCT = "HKLM\\Software\\Zunmek\\HV5 Serial Mouse"
DRIVER_FILE = "system32\\zunmouse.vxd"
INF_COPY = "inf\\other\\zunmekzunmouse.inf"
DRIVER_INDEX = "inf\\drvidx.bin"

# What the package's Setup section writes (package/zunmouse.inf).
INSTALLED_CLASS_KEY = [
    '+ value %s\\ZunmekHV5 [DriverDesc] = "Zunmek HV5 Serial Mouse"' % MOUSE_CLASS,
    '+ value %s\\ZunmekHV5 [ProviderName] = "Zunmek Plc."' % MOUSE_CLASS,
    '+ value %s\\ZunmekHV5 [MouseDriver] = "zunmouse.vxd"' % MOUSE_CLASS,
    '+ value %s\\ZunmekHV5 [MouseType] = "SERIAL"' % MOUSE_CLASS,
]

CASES = {}


def case(function):
    CASES[function.__name__] = function
    return function


def _hklm(path):
    return path[len("HKLM\\"):] if path.startswith("HKLM\\") else path


class Case:
    """One case's prefix, its package folders, and the record of every check that failed."""

    def __init__(self, options, name, display):
        self.options = options
        self.name = name
        self.dir = os.path.join(options.work, name)
        if os.path.exists(self.dir):
            shutil.rmtree(self.dir)
        self.prefix = wine_case.Prefix.copy_of(options.template, os.path.join(self.dir, "prefix"), display)
        self.media = os.path.join(self.dir, "media")
        os.makedirs(self.media)
        self.failures = []
        self.image_sizes = {}

    # --- checks, reporting the case's own line -------------------------------------------------

    def check(self, condition, message):
        if not condition:
            caller = inspect.stack()[1]
            self.failures.append("%s:%d: %s" % (os.path.basename(caller.filename), caller.lineno, message))
        return condition

    def equal(self, actual, expected, what):
        if actual != expected:
            caller = inspect.stack()[1]
            self.failures.append("%s:%d: %s: expected %r, got %r" % (os.path.basename(caller.filename), caller.lineno,
                                                                     what, expected, actual))
        return actual == expected

    def same_lines(self, actual, expected, what):
        """Two sets of change lines; reports what is missing and what is extra."""
        missing = sorted(set(expected) - set(actual))
        extra = sorted(set(actual) - set(expected))
        if missing or extra:
            caller = inspect.stack()[1]
            text = "%s:%d: %s differ" % (os.path.basename(caller.filename), caller.lineno, what)
            text += "".join("\n    expected, not seen: " + line for line in missing)
            text += "".join("\n    seen, not expected: " + line for line in extra)
            self.failures.append(text)

    def calls_match(self, run, expected, what):
        problems = match_calls(expected, run.calls())
        if problems:
            caller = inspect.stack()[1]
            self.failures.append("%s:%d: %s:\n    " % (os.path.basename(caller.filename), caller.lineno, what)
                                 + "\n    ".join(problems))

    # --- setting up ------------------------------------------------------------------------------

    def fixtures(self, *names, extra=""):
        """Imports fixture files (and extra text in the same format) in one reg.exe run."""
        parts = []
        for name in names:
            with open(os.path.join(FIXTURES, name), encoding="utf-8") as f:
                parts.append(f.read().split("\n", 1)[1])
        parts.append(extra)
        self.prefix.import_reg("Windows Registry Editor Version 5.00\n" + "\n".join(parts))

    def windows_file(self, path, content):
        full = os.path.join(self.prefix.windows_dir, *path.split("\\"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(content)

    def package(self, folder="package", setup_name="setup.exe", with_inf=True):
        """A package folder below the case's media folder: setup (under the given name), the INF and
        the driver file. Returns the folder's Unix path."""
        path = os.path.join(self.media, folder)
        os.makedirs(path)
        shutil.copyfile(self.options.setup, os.path.join(path, setup_name))
        for name in ("zunmouse.inf", "zunmouse.vxd") if with_inf else ("zunmouse.vxd",):
            shutil.copyfile(os.path.join(self.options.package, name), os.path.join(path, name))
        return path

    def state(self):
        """(registry, files) once Wine has written its registry back."""
        self.prefix.shut_down()
        return self.prefix.registry(), self.prefix.files()

    def run(self, program, exe, answer="Escape"):
        """Runs one program (a Unix path, or a Windows path on a mapped drive) and shuts the prefix
        down again. exe names the built file the program is a copy of."""
        if exe not in self.image_sizes:
            self.image_sizes[exe] = pe_file.read_pe(exe).size_of_image
        result = self.prefix.run(program, self.image_sizes[exe], answer=answer)
        self.prefix.shut_down()
        return result

    def changes(self, before, after):
        return changes.registry_changes(before[0], after[0]) + changes.file_changes(before[1], after[1])

    def prompt_then_exit(self, run, exit_code=0, restart=False):
        """The prompt came, was answered, and the run ended with the code and restart expected."""
        self.check(run.prompt_seen, "the restart prompt never came")
        self.equal(run.exit_code, exit_code, "exit code")
        self.equal(run.restart_requested(), restart, "restart requested (wineboot --end-session started)")
        exits = [c for c in run.calls() if c.function == "ExitWindowsEx"]
        self.equal([c.args for c in exits], [[EWX_REBOOT, 0]] if restart else [], "ExitWindowsEx calls")

    def file_bytes(self, path):
        full = os.path.join(self.prefix.windows_dir, *path.split("\\"))
        if not os.path.exists(full):
            return None
        with open(full, "rb") as f:
            return f.read()

    def package_bytes(self, name):
        with open(os.path.join(self.options.package, name), "rb") as f:
            return f.read()

    def installed_files(self):
        return ["+ file %%windir%%\\%s (%d bytes)" % (DRIVER_FILE, len(self.package_bytes("zunmouse.vxd"))),
                "+ file %%windir%%\\%s (%d bytes)" % (INF_COPY, len(self.package_bytes("zunmouse.inf")))]

    def check_installed_files(self):
        """The driver file and the INF copy in place, each the same bytes as in the package."""
        for path, name in ((DRIVER_FILE, "zunmouse.vxd"), (INF_COPY, "zunmouse.inf")):
            installed = self.file_bytes(path)
            if installed is None:
                self.failures.append("%%windir%%\\%s is missing" % path)
            elif installed != self.package_bytes(name):
                self.failures.append("%%windir%%\\%s differs from the package's %s" % (path, name))


# --- what the fixtures lead to -------------------------------------------------------------------

# root_devices.reg: the devices whose first instance is a mouse, and the others.
MOUSE_DEVICES = ["*PNP0F01", "*PNP0F0C", "*PNP0F0E", "ZMK8001"]
OTHER_DEVICES = ["*PNP0303", "*PNP0501", "*PNP0F0D", "*PNP0F12", "*PNP0F13", "*PNP0F19", "Printer"]
SETUP_OF_OLD_INSTALLATION = (
    ["- key %s\\%s" % (ROOT_DEVICES, device) for device in MOUSE_DEVICES]
    + ["- key %s" % LMOUSE,
       "- value %s [LegacyPort]" % PRODUCT,                                # SetupCleanup
       '~ value %s [DriverVersion]: "1.0.0.2" -> "1.0.0.5"' % PRODUCT,     # Setup
       '+ value %s [InfFile] = "zunmekzunmouse.inf"' % PRODUCT,
       "- file %%windir%%\\%s" % DRIVER_INDEX])


def setup_over_old_installation(c, extra=""):
    c.fixtures("root_devices.reg", "old_installation.reg", extra=extra)
    c.windows_file(DRIVER_INDEX, b"driver index of an older installation\r\n")
    return c.state()


def new_key_lines(before, path, value_lines):
    """Lines for a key that a run creates with its values: the topmost of its keys that did not
    exist before, then the values."""
    parts = _hklm(path).split("\\")
    for depth in range(1, len(parts) + 1):
        if not before[0].has_key("\\".join(parts[:depth])):
            return ["+ key HKLM\\" + "\\".join(parts[:depth])] + value_lines
    return value_lines


def new_class_key_lines(before):
    return new_key_lines(before, MOUSE_CLASS + "\\ZunmekHV5", INSTALLED_CLASS_KEY)


def new_product_key_lines(before):
    return new_key_lines(before, PRODUCT, ['+ value %s [DriverVersion] = "1.0.0.5"' % PRODUCT,
                                           '+ value %s [InfFile] = "zunmekzunmouse.inf"' % PRODUCT])


# --- the cases -----------------------------------------------------------------------------------

@case
def install_round_trip(c):
    """setup from its package folder on a system with traces of an older installation, then
    "Restart Later": the mouse devices, LMOUSE and the driver index go, the package is installed,
    and nothing else changes."""
    before = setup_over_old_installation(c)
    folder = c.package()
    run = c.run(os.path.join(folder, "setup.exe"), c.options.setup, answer="Escape")
    after = c.state()
    c.prompt_then_exit(run)
    c.check_installed_files()
    for device in OTHER_DEVICES:
        c.check(after[0].has_key(_hklm(ROOT_DEVICES) + "\\" + device), "device %s was removed" % device)
    c.same_lines(c.changes(before, after),
                 SETUP_OF_OLD_INSTALLATION + new_class_key_lines(before) + c.installed_files(),
                 "changes of the setup run")


@case
def install_nt_mode(c):
    """setup in Wine's default (NT) mode, where RegDeleteKeyA refuses a key with subkeys: each mouse
    device's delete is refused once, not retried, and the sweep and the sequence go on."""
    before = setup_over_old_installation(c, extra="[-HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\setup.exe]\n")
    folder = c.package()
    run = c.run(os.path.join(folder, "setup.exe"), c.options.setup, answer="Escape")
    after = c.state()
    c.prompt_then_exit(run)
    calls = run.calls()
    # Device keys are deleted by their bare name, the LMOUSE key by its full path.
    deletes = [(call.args[1][1], call.result) for call in calls
               if call.function == "RegDeleteKeyA" and "\\" not in call.args[1][1]]
    c.equal(sorted(deletes), sorted((device, ERROR_ACCESS_DENIED) for device in MOUSE_DEVICES),
            "device deletes (each refused, each tried once)")
    enums = [call for call in calls if call.function == "RegEnumKeyExA"]
    c.equal([call.args[1] for call in enums], list(range(len(MOUSE_DEVICES) + len(OTHER_DEVICES) + 1)),
            "sweep indices (never back to 0: no delete succeeded)")
    c.equal(enums[-1].result if enums else None, ERROR_NO_MORE_ITEMS, "the sweep ran to the end of the list")
    c.check_installed_files()
    # Everything but the device deletes happened as on Windows 98.
    c.same_lines(c.changes(before, after),
                 [line for line in SETUP_OF_OLD_INSTALLATION if not line.startswith("- key " + ROOT_DEVICES)]
                 + new_class_key_lines(before) + c.installed_files(),
                 "changes of the setup run in NT mode")


CP932_LAYOUTS = [
    # (folder, program file name, what the split must get right)
    ("pkg\u8868", "setup.exe", "a folder name whose last character's second byte is 0x5C"),
    ("drv\u8868", "set\u8868up.exe", "and the same character in the program's own name"),
]


@case
def install_code_page_932(c):
    """setup under code page 932 from folders and file names holding U+8868, 0x95 0x5C in that code
    page: the trail byte is no separator, and setup still finds and installs its INF."""
    locales = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE, check=True).stdout.decode().split()
    if not any(name.lower() in ("ja_jp.utf8", "ja_jp.utf-8") for name in locales):
        raise wine_case.CaseFailure("no ja_JP.UTF-8 locale (scripts/machine.sh: ensure_japanese_locale)")
    c.prefix.locale = "ja_JP.UTF-8"  # Wine's ANSI code page is then 932
    c.prefix.map_drive("P", c.media)
    for i, (folder, program, what) in enumerate(CP932_LAYOUTS):
        c.fixtures(extra="[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\n\"Version\"=\"win98\"\n" % program)
        c.package(folder, setup_name=program)
        before = c.state()
        run = c.run("P:\\%s\\%s" % (folder, program), c.options.setup, answer="Escape")
        after = c.state()
        c.prompt_then_exit(run)
        package_dir = "P:\\" + folder.encode("cp932").decode("latin-1")  # ends in 0x95 0x5C
        opened = [call.args[0] for call in run.calls() if call.function == "SetupOpenInfFileA"]
        c.equal([a[1] if isinstance(a, tuple) else a for a in opened], [package_dir + "\\zunmouse.inf"],
                "INF path (%s)" % what)
        sources = [call.args[5] for call in run.calls() if call.function == "SetupInstallFromInfSectionA"]
        c.equal([a[1] if isinstance(a, tuple) else a for a in sources], [package_dir, package_dir],
                "source root of both sections (%s)" % what)
        expected = c.installed_files()
        if i == 0:
            expected += new_class_key_lines(before) + new_product_key_lines(before)
        c.same_lines(c.changes(before, after), expected, "changes of the run (%s)" % what)
        c.check_installed_files()
        # The next layout installs again from scratch.
        for path in (DRIVER_FILE, INF_COPY):
            full = os.path.join(c.prefix.windows_dir, *path.split("\\"))
            if os.path.exists(full):
                os.remove(full)


@case
def restart_now(c):
    """"Restart Now" (Return) in both programs: the restart is requested, the exit code is 0."""
    folder = c.package()
    for program, exe in ((os.path.join(folder, "setup.exe"), c.options.setup),
                         (c.options.uninstall, c.options.uninstall)):
        run = c.run(program, exe, answer="Return")
        c.prompt_then_exit(run, restart=True)


PROBLEM_RECORDS_GONE = {
    "00000001": ["SERENUM\\ZMK8001", "SERENUM\\ZMK8001\\1", "SERENUM\\ZMK8001\\2", "ROOT\\ZMK8001",
                 "ROOT\\ZMK8001\\0000", "ROOT\\ZMK80011"],
    "00000002": ["SERENUM\\ZMK8001\\1"],
    "00000004": ["SERENUM\\ZMK8001"],
}
CLASS_KEYS_GONE = ["0001", "0004", "0007", "ZunmekHV5"]


@case
def uninstall_after_install(c):
    """ZunHV5Un after setup: every problem record of the mouse goes, adjacent ones included, and
    every other value stays; the class keys that name zunmouse.vxd go; the Uninstall section takes
    the driver file, the INF copy and the product key away."""
    c.fixtures("old_installation.reg")
    folder = c.package()
    c.run(os.path.join(folder, "setup.exe"), c.options.setup, answer="Escape")
    c.fixtures("problem_records.reg", "class_keys.reg")
    before = c.state()
    c.check(before[0].has_key(_hklm(MOUSE_CLASS) + "\\ZunmekHV5"), "setup wrote its class key")
    run = c.run(c.options.uninstall, c.options.uninstall, answer="Escape")
    after = c.state()
    c.prompt_then_exit(run)
    expected = ["- value %s\\%s [%s]" % (PROBLEMS, key, name) for key, names in PROBLEM_RECORDS_GONE.items()
                for name in names]
    expected += ["- key %s\\%s" % (MOUSE_CLASS, key) for key in CLASS_KEYS_GONE]
    expected += ["- key %s" % PRODUCT, "- file %%windir%%\\%s" % DRIVER_FILE, "- file %%windir%%\\%s" % INF_COPY]
    c.same_lines(c.changes(before, after), expected, "changes of the uninstall run")


@case
def nothing_to_do(c):
    """setup without an INF beside it, and ZunHV5Un on a system without any trace of the
    installation: the prompt still comes, exit code 0, and nothing changes but what setup removes
    before it looks for its INF."""
    before = setup_over_old_installation(c)
    folder = c.package(with_inf=False)
    run = c.run(os.path.join(folder, "setup.exe"), c.options.setup, answer="Escape")
    after = c.state()
    c.prompt_then_exit(run)
    setupapi = [(call.function, call.result) for call in run.calls() if call.function.startswith("Setup")]
    c.equal(setupapi, [("SetupOpenInfFileA", INVALID_HANDLE_VALUE)], "SetupAPI calls without an INF")
    c.same_lines(c.changes(before, after),
                 ["- key %s\\%s" % (ROOT_DEVICES, device) for device in MOUSE_DEVICES]
                 + ["- key %s" % LMOUSE, "- file %%windir%%\\%s" % DRIVER_INDEX],
                 "changes of setup without its INF")

    # A clean system: only Wine's own keys, no problem records, no class keys, no installed INF.
    c.prefix.shut_down()
    clean = wine_case.Prefix.copy_of(c.options.template, os.path.join(c.dir, "clean"), c.prefix.display)
    c.prefix = clean
    before = c.state()
    run = c.run(c.options.uninstall, c.options.uninstall, answer="Escape")
    after = c.state()
    c.prompt_then_exit(run)
    c.calls_match(run, [
        expect("RegOpenKeyExA", HKLM, "System\\CurrentControlSet\\Control\\ASD\\Prob", 0, KEY_ALL_ACCESS, ANY,
               ret=ERROR_FILE_NOT_FOUND),
        expect("RegOpenKeyExA", HKLM, "System\\CurrentControlSet\\Services\\class\\mouse", 0, KEY_ALL_ACCESS, ANY,
               ret=ERROR_FILE_NOT_FOUND),
        expect("GetWindowsDirectoryA", ANY, 260, ret=len("C:\\windows")),
        expect("SetupOpenInfFileA", "C:\\windows\\inf\\other\\zunmekzunmouse.inf", 0, 2, 0, ret=INVALID_HANDLE_VALUE),
    ] + prompt_calls(IDC_RESTART_LATER), "ZunHV5Un's calls on a clean system")
    c.same_lines(c.changes(before, after), [], "changes of the uninstaller on a clean system")


# --- the programs' own calls, from the relay trace -----------------------------------------------

TRACE_DEVICES = """\
[HKEY_LOCAL_MACHINE\\Enum\\Root\\*PNP0303\\0000]
"Class"="Keyboard"

[HKEY_LOCAL_MACHINE\\Enum\\Root\\*PNP0F0C\\0000]
"Class"="Mouse"

[HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer\\0000]
"Class"="Printer"

[HKEY_LOCAL_MACHINE\\Enum\\Root\\ZMK8001\\0000]
"Class"="MOUSE"
"""


def sweep_look(key, index, name, suffix, value_name, query=ERROR_SUCCESS):
    """One subkey examined: enumerated at index, its value key opened, queried and closed."""
    return [
        expect("RegEnumKeyExA", key, index, ANY, ANY, 0, 0, 0, ANY, ret=ERROR_SUCCESS),
        expect("RegOpenKeyExA", key, name + suffix, 0, KEY_ALL_ACCESS, ANY, ret=ERROR_SUCCESS),
        expect("RegQueryValueExA", Sym("value key"), value_name, 0, 0, ANY, ANY, ret=query),
        expect("RegCloseKey", Sym("value key"), ret=ERROR_SUCCESS),
    ]


def device_look(index, name):
    return sweep_look(Sym("Enum\\Root"), index, name, "\\0000", "Class")


def setup_calls(package_dir):
    """setup's calls on TRACE_DEVICES (Wine enumerates subkeys sorted by name): after each delete
    the sweep starts again at index 0, where the keyboard is examined again."""
    root = Sym("Enum\\Root")
    inf, context = Sym("INF"), Sym("queue context")
    return ([expect("GetVersionExA", ANY, ret=1),
             expect("RegOpenKeyExA", HKLM, "Enum\\Root", 0, KEY_ALL_ACCESS, ANY, ret=ERROR_SUCCESS)]
            + device_look(0, "*PNP0303")
            + device_look(1, "*PNP0F0C") + [expect("RegDeleteKeyA", root, "*PNP0F0C", ret=ERROR_SUCCESS)]
            + device_look(0, "*PNP0303")
            + device_look(1, "Printer")
            + device_look(2, "ZMK8001") + [expect("RegDeleteKeyA", root, "ZMK8001", ret=ERROR_SUCCESS)]
            + device_look(0, "*PNP0303")
            + device_look(1, "Printer")
            + [expect("RegEnumKeyExA", root, 2, ANY, ANY, 0, 0, 0, ANY, ret=ERROR_NO_MORE_ITEMS),
               expect("RegCloseKey", root, ret=ERROR_SUCCESS),
               expect("GetModuleFileNameA", 0x140000000, ANY, 260, ret=ANY),
               expect("SetupOpenInfFileA", package_dir + "\\zunmouse.inf" if package_dir != "X:" else "X:\\zunmouse.inf",
                      0, 2, 0, ret=inf),
               expect("SetupInitDefaultQueueCallback", 0, ret=context),
               expect("SetupInstallFromInfSectionA", 0, inf, "Setup", 0x1F, 0, package_dir, 0x404, ANY, context, 0, 0,
                      ret=1),
               expect("SetupInstallFromInfSectionA", 0, inf, "SetupCleanup", 0x1F, 0, package_dir, 0x400, ANY, context,
                      0, 0, ret=1),
               expect("SetupTermDefaultQueueCallback", context, ret=ANY),
               expect("SetupCloseInfFile", inf, ret=ANY),
               expect("RegDeleteKeyA", HKLM, "System\\CurrentControlSet\\Services\\VxD\\LMOUSE", ret=ERROR_SUCCESS),
               expect("GetWindowsDirectoryA", ANY, 260, ret=len("C:\\windows")),
               expect("DeleteFileA", "C:\\windows\\inf\\drvidx.bin", ret=1)]
            + prompt_calls(IDC_RESTART_LATER))


def prompt_calls(choice):
    return [expect("DialogBoxParamA", 0x140000000, IDD_RESTART, 0, ANY, 0, ret=choice),
            expect("EndDialog", ANY, choice, ret=1)]


def trace_setup_fixtures(c):
    c.fixtures("old_installation.reg", extra=TRACE_DEVICES)
    c.windows_file(DRIVER_INDEX, b"index\r\n")


@case
def trace_setup(c):
    """setup's own calls, in order and with their arguments, started from its package folder
    (P:\\package, a drive mapped to the case's media folder)."""
    trace_setup_fixtures(c)
    c.package()
    c.prefix.map_drive("P", c.media)
    run = c.run("P:\\package\\setup.exe", c.options.setup, answer="Escape")
    c.equal(run.exit_code, 0, "exit code")
    c.calls_match(run, setup_calls("P:\\package"), "setup's calls")
    check_queue_callback(c, run)


def check_queue_callback(c, run):
    """QueueCallback hands every notification of both sections to SetupDefaultQueueCallbackA with
    the queue context unchanged. It does so by a tail jump, so those calls return into SetupAPI and
    only the whole thread's trace shows them."""
    context = None
    forwarded = {}
    section = None
    for call in run.calls(own_image_only=False):
        if call.function == "SetupInitDefaultQueueCallback":
            context = call.result
        elif call.function == "SetupInstallFromInfSectionA":
            section = call.args[2][1]
            forwarded[section] = []
        elif call.function == "SetupTermDefaultQueueCallback":
            section = None
        elif call.function == "SetupDefaultQueueCallbackA" and section is not None:
            forwarded[section].append(call.args[0])
    for section in ("Setup", "SetupCleanup"):
        c.check(section in forwarded, "section %s was not run" % section)
    c.check(forwarded.get("Setup"), "no notification of the Setup section reached SetupDefaultQueueCallbackA")
    contexts = {arg for args in forwarded.values() for arg in args}
    c.equal(contexts, {context} if contexts else set(), "queue context handed to SetupDefaultQueueCallbackA")


@case
def trace_setup_drive_root(c):
    """setup started from the root of a drive (X: mapped to the package folder): INF path
    X:\\zunmouse.inf and the source root X: alone."""
    trace_setup_fixtures(c)
    folder = c.package()
    c.prefix.map_drive("X", folder)
    run = c.run("X:\\setup.exe", c.options.setup, answer="Escape")
    c.equal(run.exit_code, 0, "exit code")
    c.calls_match(run, setup_calls("X:"), "setup's calls from X:\\")
    c.check_installed_files()


TRACE_PROBLEMS = """\
[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ASD\\Prob\\00000001]
"ROOT\\\\ZMK8001"="a"
"ROOT\\\\ZMK8001\\\\0000"="b"
"SERENUM\\\\ZMK800"="c"
"SERENUM\\\\ZMK8001\\\\1"="d"

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ASD\\Prob\\00000002]

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ASD\\Prob\\00000003]
"Root\\\\ZMK8001"="e"

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\class\\mouse\\0000]
"MouseDriver"="lmouse.vxd"

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\class\\mouse\\0001]
"MouseDriver"="ZunMouse.VXD"
"""


def uninstall_calls():
    """ZunHV5Un's calls after setup and TRACE_PROBLEMS. Values come sorted by name; after a delete
    that succeeds the same value index is examined again, since the next value has moved into it."""
    problems, sub = Sym("Prob"), Sym("problem subkey")
    mouse = Sym("class\\mouse")
    inf, context = Sym("INF"), Sym("queue context")

    def value(index, ret=ERROR_SUCCESS):
        return expect("RegEnumValueA", sub, index, ANY, ANY, 0, 0, 0, 0, ret=ret)

    def subkey(index, name):
        return [expect("RegEnumKeyExA", problems, index, ANY, ANY, 0, 0, 0, ANY, ret=ERROR_SUCCESS),
                expect("RegOpenKeyExA", problems, name, 0, KEY_ALL_ACCESS, ANY, ret=ERROR_SUCCESS)]

    def delete(name):
        return expect("RegDeleteValueA", sub, name, ret=ERROR_SUCCESS)

    def class_look(index, name):
        return sweep_look(mouse, index, name, "", "MouseDriver")

    return ([expect("RegOpenKeyExA", HKLM, "System\\CurrentControlSet\\Control\\ASD\\Prob", 0, KEY_ALL_ACCESS, ANY,
                    ret=ERROR_SUCCESS)]
            + subkey(0, "00000001")
            + [value(0), delete("ROOT\\ZMK8001"),
               value(0), delete("ROOT\\ZMK8001\\0000"),
               value(0),                             # SERENUM\ZMK800 stays
               value(1), delete("SERENUM\\ZMK8001\\1"),
               value(1, ret=ERROR_NO_MORE_ITEMS),
               expect("RegCloseKey", sub, ret=ERROR_SUCCESS)]
            + subkey(1, "00000002")
            + [value(0, ret=ERROR_NO_MORE_ITEMS), expect("RegCloseKey", sub, ret=ERROR_SUCCESS)]
            + subkey(2, "00000003")
            + [value(0), value(1, ret=ERROR_NO_MORE_ITEMS), expect("RegCloseKey", sub, ret=ERROR_SUCCESS),
               expect("RegEnumKeyExA", problems, 3, ANY, ANY, 0, 0, 0, ANY, ret=ERROR_NO_MORE_ITEMS),
               expect("RegCloseKey", problems, ret=ERROR_SUCCESS),
               expect("RegOpenKeyExA", HKLM, "System\\CurrentControlSet\\Services\\class\\mouse", 0, KEY_ALL_ACCESS,
                      ANY, ret=ERROR_SUCCESS)]
            + class_look(0, "0000")
            + class_look(1, "0001") + [expect("RegDeleteKeyA", mouse, "0001", ret=ERROR_SUCCESS)]
            + class_look(0, "0000")
            + class_look(1, "ZunmekHV5") + [expect("RegDeleteKeyA", mouse, "ZunmekHV5", ret=ERROR_SUCCESS)]
            + class_look(0, "0000")
            + [expect("RegEnumKeyExA", mouse, 1, ANY, ANY, 0, 0, 0, ANY, ret=ERROR_NO_MORE_ITEMS),
               expect("RegCloseKey", mouse, ret=ERROR_SUCCESS),
               expect("GetWindowsDirectoryA", ANY, 260, ret=len("C:\\windows")),
               expect("SetupOpenInfFileA", "C:\\windows\\inf\\other\\zunmekzunmouse.inf", 0, 2, 0, ret=inf),
               expect("SetupInitDefaultQueueCallback", 0, ret=context),
               expect("SetupInstallFromInfSectionA", 0, inf, "Uninstall", 0x1F, 0, 0, 0, ANY, context, 0, 0, ret=1),
               expect("SetupTermDefaultQueueCallback", context, ret=ANY),
               expect("SetupCloseInfFile", inf, ret=ANY)]
            + prompt_calls(IDC_RESTART_LATER))


@case
def trace_uninstall(c):
    """ZunHV5Un's own calls after an installation, in order and with their arguments."""
    folder = c.package()
    c.run(os.path.join(folder, "setup.exe"), c.options.setup, answer="Escape")
    c.fixtures(extra=TRACE_PROBLEMS)
    run = c.run(c.options.uninstall, c.options.uninstall, answer="Escape")
    c.equal(run.exit_code, 0, "exit code")
    c.calls_match(run, uninstall_calls(), "ZunHV5Un's calls")


# --- driver ---------------------------------------------------------------------------------------

def run_case(options):
    function = CASES[options.case]
    wine_case.require_tools()
    with wine_case.Xvfb() as display:
        c = Case(options, options.case, display.display)
        try:
            function(c)
        except Exception:
            # What the case found before it broke off is worth as much as the traceback.
            for failure in c.failures:
                print("  " + failure)
            raise
        finally:
            c.prefix.shut_down()
    if c.failures:
        print("FAILED %s (the case's folder is kept: %s)" % (options.case, c.dir))
        for failure in c.failures:
            print("  " + failure)
        return 1
    shutil.rmtree(c.dir)
    print("passed %s" % options.case)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", choices=("prepare", "run", "list"))
    parser.add_argument("case", nargs="?")
    parser.add_argument("--template")
    parser.add_argument("--work")
    parser.add_argument("--setup")
    parser.add_argument("--uninstall")
    parser.add_argument("--package")
    options = parser.parse_args()
    if options.command == "list":
        print("\n".join(CASES))
        return 0
    if options.command == "prepare":
        wine_case.prepare_template(options.template)
        print("prepared %s" % options.template)
        return 0
    if options.case not in CASES:
        parser.error("unknown case %r" % options.case)
    return run_case(options)


if __name__ == "__main__":
    try:
        sys.exit(main())
    except wine_case.CaseFailure as failure:
        print("FAILED: %s" % failure)
        sys.exit(1)
