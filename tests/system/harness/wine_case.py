"""Runs the programs in Wine: the prepared template prefix, one fresh copy of it per case, a
virtual display, the restart prompt answered from outside, and what the run left behind (the
registry as Wine saved it, the Windows directory's files, the relay trace)."""

import os
import shutil
import subprocess
import time

import changes
import relay_trace
import wine_registry

PROMPT_TITLE = "Zunmek HV5 Serial Drivers"
PROGRAMS = ("setup.exe", "ZunHV5Un.exe")
# The functions the programs call, for the relay trace; the start-up code's own (GetACP,
# GetStartupInfoA, GetCommandLineA, ExitProcess) are left out.
RELAY_INCLUDE = ";".join([
    "advapi32.*", "setupapi.*",
    "kernel32.GetVersionExA", "kernel32.GetModuleFileNameA", "kernel32.GetWindowsDirectoryA", "kernel32.DeleteFileA",
    "user32.DialogBoxParamA", "user32.EndDialog", "user32.ExitWindowsEx"])
REQUIRED_TOOLS = ("wine", "wineboot", "wineserver", "Xvfb", "xdotool")


class CaseFailure(Exception):
    pass


def require_tools(*extra):
    missing = [tool for tool in REQUIRED_TOOLS + extra if shutil.which(tool) is None]
    if missing:
        # A missing tool is a failure, not a reason to skip: the suite would prove nothing.
        raise CaseFailure("missing tools: %s (scripts/machine.sh: ensure_wine_tools)" % ", ".join(missing))


def base_environment(prefix, display=None, locale="C"):
    env = dict(os.environ)
    for name in ("WINEDEBUG", "WINEARCH", "WINELOADER", "WINESERVER", "LANG", "LANGUAGE"):
        env.pop(name, None)
    # Without the overrides wineboot offers to download Mono and Gecko, which would wait forever here.
    env.update(WINEPREFIX=prefix, WINEDLLOVERRIDES="mscoree,mshtml=", WINEDEBUG="-all", LC_ALL=locale)
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def _run(args, env, timeout, what, **kwargs):
    try:
        result = subprocess.run(args, env=env, timeout=timeout, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                **kwargs)
    except subprocess.TimeoutExpired:
        raise CaseFailure("%s took longer than %d s" % (what, timeout))
    if result.returncode != 0:
        raise CaseFailure("%s failed (%d): %s" % (what, result.returncode,
                                                  result.stdout.decode("utf-8", "replace")[-2000:]))
    return result


def base_settings_reg():
    """What every prefix of ours has: Windows 98 for both programs, the relay trace's function list,
    and no crash dialog (a crash must end the run, not wait for a click)."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for program in PROGRAMS:
        lines += ["[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]" % program, '"Version"="win98"', ""]
    lines += ["[HKEY_CURRENT_USER\\Software\\Wine\\Debug]", '"RelayInclude"="%s"' % RELAY_INCLUDE, "",
              "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]", '"ShowCrashDialog"=dword:00000000', ""]
    return "\n".join(lines)


def prepare_template(path):
    """A booted prefix with our base settings, its registry written back to its files."""
    require_tools()
    if os.path.exists(path):
        shutil.rmtree(path)
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    env = base_environment(path)
    _run(["wineboot", "-i"], env, 300, "wineboot -i")
    prefix = Prefix(path, None)
    prefix.import_reg(base_settings_reg())
    prefix.shut_down()
    if not os.path.exists(os.path.join(path, "system.reg")):
        raise CaseFailure("wineboot left no system.reg in %s" % path)


class Xvfb:
    """A private virtual display for one case: Xvfb picks a free display number itself."""

    def __enter__(self):
        require_tools()
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.time() + 30
        while not number.endswith(b"\n"):
            if time.time() > deadline or self.process.poll() is not None:
                os.close(read_end)
                self.__exit__()
                raise CaseFailure("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Run:
    """What one program run left: exit code, the trace, and whether and how the prompt came."""

    def __init__(self, exit_code, trace, prompt_seen, image_size):
        self.exit_code = exit_code
        self.trace = trace
        self.prompt_seen = prompt_seen
        self.image_size = image_size

    def calls(self, own_image_only=True):
        return relay_trace.program_calls(self.trace, self.image_size, own_image_only)

    def processes_started(self):
        """Command lines of the processes that the program started (from +process)."""
        thread = relay_trace.program_thread(self.trace)
        started = []
        marker = "%s:trace:process:CreateProcessInternalW app " % thread
        for line in self.trace.split("\n"):
            if line.startswith(marker) and ' cmdline L"' in line:
                started.append(line.split(' cmdline L"', 1)[1].rsplit('"', 1)[0].replace("\\\\", "\\"))
        return started

    def restart_requested(self):
        return any("wineboot.exe --end-session" in cmdline for cmdline in self.processes_started())


class Prefix:
    """One Wine prefix and the virtual display its programs show their windows on."""

    def __init__(self, path, display):
        self.path = path
        self.display = display
        # Wine rewrites its locale-dependent keys (code pages, font names) whenever a process starts
        # under another locale than the last: every process of a case runs under the same one.
        self.locale = "C"

    @classmethod
    def copy_of(cls, template, path, display):
        if not os.path.exists(os.path.join(template, "system.reg")):
            raise CaseFailure("no prepared prefix at %s (the prepare_prefix test sets it up)" % template)
        if os.path.exists(path):
            shutil.rmtree(path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["cp", "-a", template, path], check=True)
        return cls(path, display)

    def env(self):
        return base_environment(self.path, self.display, self.locale)

    @property
    def windows_dir(self):
        return os.path.join(self.path, "drive_c", "windows")

    def import_reg(self, text):
        """Imports a fixture (UTF-8, 'Windows Registry Editor Version 5.00' format) with reg.exe."""
        fixture = os.path.join(self.path, "fixture-%d.reg" % time.monotonic_ns())
        with open(fixture, "wb") as f:
            f.write(wine_registry.fixture_for_import(text))
        try:
            _run(["wine", "reg", "import", fixture], self.env(), 120, "reg import")
        finally:
            os.remove(fixture)

    def map_drive(self, letter, target):
        link = os.path.join(self.path, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(target, link)

    def shut_down(self):
        """Ends every process of the prefix; wineserver writes the registry back to its files."""
        subprocess.run(["wineserver", "-k"], env=self.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        # -k returns once the signal is sent: wait until the server is gone.
        subprocess.run(["wineserver", "-w"], env=self.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)

    def registry(self):
        """HKEY_LOCAL_MACHINE as the prefix's files hold it (shut the prefix down first)."""
        return wine_registry.read_hive(os.path.join(self.path, "system.reg"))

    def files(self):
        """{path below the Windows directory: (size, mtime)} for every file there."""
        return changes.files_of(self.windows_dir)

    def run(self, program, image_size, answer="Escape", screenshot=None, timeout=90):
        """Runs `program` (a Unix path, or a Windows path such as X:\\setup.exe) under the relay
        trace, waits for the restart prompt and answers it with the key `answer` (None: leave it to a
        person, and timeout None: wait as long as the person takes). Returns a Run. A prompt that never
        comes is noted, not waited for beyond the program's end or the timeout."""
        env = self.env()
        env["WINEDEBUG"] = "+relay,+loaddll,+process"
        trace_path = os.path.join(self.path, "trace-%d.log" % time.monotonic_ns())
        with open(trace_path, "wb") as trace_file:
            process = subprocess.Popen(["wine", program], env=env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=trace_file)
            try:
                prompt_seen = self._answer_prompt(process, answer, screenshot, timeout)
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                self.shut_down()
                raise CaseFailure("%s did not end within %d s" % (program, timeout))
        with open(trace_path, "rb") as f:
            trace = f.read().decode("latin-1")
        os.remove(trace_path)
        return Run(process.returncode, trace, prompt_seen, image_size)

    def _find_prompt(self):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % PROMPT_TITLE],
                               env=self.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
        windows = found.stdout.decode().split()
        return windows[0] if windows else None

    def _answer_prompt(self, process, answer, screenshot, timeout):
        if answer is None:
            return None
        deadline = time.time() + timeout
        window = None
        while window is None:
            if process.poll() is not None or time.time() > deadline:
                return False
            window = self._find_prompt()
            if window is None:
                time.sleep(0.2)
        if screenshot:
            time.sleep(0.5)  # let the dialog paint its controls
            subprocess.run(["import", "-window", window, screenshot], env=self.env(), timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The key goes to the dialog's window; should it come before the dialog reads keys, it is
        # sent again while the window stays (a dialog ends at the first one that arrives).
        for _ in range(5):
            subprocess.run(["xdotool", "key", "--window", window, answer], env=self.env(), timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(30):
                if process.poll() is not None or self._find_prompt() != window:
                    return True
                time.sleep(0.2)
        return True
