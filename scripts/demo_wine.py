#!/usr/bin/env python3
"""The Wine half of scripts/demo.sh: a fresh prefix in Windows 98 mode with traces of an older
installation, then setup.exe and ZunHV5Un.exe, each followed by what it changed.

  demo_wine.py DEMO_DIR     (DEMO_DIR holds package/ with setup.exe and ZunHV5Un.exe)

With a usable display ($DISPLAY) the prompts appear there and wait for you. Without one they
come up on a private Xvfb display, are answered "Restart Later", and a screenshot of each is saved
in DEMO_DIR."""

import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "system", "harness"))
import changes  # noqa: E402
import pe_file  # noqa: E402
import wine_case  # noqa: E402

# An older installation's traces: a root-enumerated mouse (and a keyboard, which stays), the
# LMOUSE service, problem records of the mouse beside one of another device, a class key that
# names the driver, and a value that the package's SetupCleanup section removes.
OLD_INSTALLATION = r"""Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Enum\Root\*PNP0F0C\0000]
"Class"="Mouse"
"DeviceDesc"="Standard serial mouse"

[HKEY_LOCAL_MACHINE\Enum\Root\*PNP0303\0000]
"Class"="Keyboard"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\VxD\LMOUSE]
"StaticVxD"="lmouse.vxd"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\ASD\Prob\00000001]
"SERENUM\\ZMK8001\\1"=hex:01,00,00,00
"ROOT\\ZMK8001\\0000"=hex:02,00,00,00
"ROOT\\PNP0303\\0000"=hex:03,00,00,00

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\class\mouse\0000]
"DriverDesc"="Zunmek HV5 Serial Mouse (older release)"
"MouseDriver"="ZUNMOUSE.VXD"

[HKEY_LOCAL_MACHINE\Software\Zunmek\HV5 Serial Mouse]
"LegacyPort"="COM2"
"""

# Without a window manager Wine leaves the caption to one: let it draw its own for the screenshot.
OWN_CAPTIONS = r"""Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"""


def display_usable():
    if not os.environ.get("DISPLAY"):
        return False
    probe = subprocess.run(["xdotool", "getdisplaygeometry"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return probe.returncode == 0


def show_run(prefix, demo_dir, program, title, display_is_private):
    state = os.path.join(demo_dir, "state-before-" + os.path.basename(program))
    prefix.shut_down()
    changes.main(["changes.py", "save", prefix.path, state])
    print("\n== %s" % title)
    if display_is_private:
        shot = os.path.join(demo_dir, os.path.splitext(os.path.basename(program))[0].lower() + "-prompt.png")
        print("   (no display: the prompt is answered \"Restart Later\"; screenshot %s)" % shot)
        run = prefix.run(program, pe_file.read_pe(program).size_of_image, answer="Escape", screenshot=shot)
        if not run.prompt_seen:
            print("   the restart prompt did not come")
    else:
        print("   answer the prompt on your display")
        run = prefix.run(program, pe_file.read_pe(program).size_of_image, answer=None, timeout=None)
    prefix.shut_down()
    print("   exit code %d%s; what changed:" % (run.exit_code, ", restart requested" if run.restart_requested() else ""))
    changes.main(["changes.py", "show", prefix.path, state])


def main():
    demo_dir = os.path.abspath(sys.argv[1])
    package = os.path.join(demo_dir, "package")
    prefix_path = os.path.join(demo_dir, "wineprefix")

    print("== A fresh Wine prefix, Windows 98 for both programs: %s" % prefix_path)
    wine_case.prepare_template(prefix_path)

    private = None
    display = os.environ.get("DISPLAY") if display_usable() else None
    if display is None:
        wine_case.require_tools("import")  # ImageMagick, for the screenshots
        private = wine_case.Xvfb().__enter__()
        display = private.display
    try:
        prefix = wine_case.Prefix(prefix_path, display)
        prefix.import_reg(OLD_INSTALLATION + ("\n" + OWN_CAPTIONS.split("\n", 1)[1] if private else ""))
        with open(os.path.join(prefix.windows_dir, "inf", "drvidx.bin"), "wb") as f:
            f.write(b"driver index of an older installation\r\n")
        print("   seeded with an older installation's traces: a root mouse device, the LMOUSE service,\n"
              "   problem records, a class key naming zunmouse.vxd, %windir%\\inf\\drvidx.bin")

        show_run(prefix, demo_dir, os.path.join(package, "setup.exe"), "setup.exe, from " + package, private)
        show_run(prefix, demo_dir, os.path.join(package, "ZunHV5Un.exe"), "ZunHV5Un.exe", private)
    finally:
        if private:
            private.__exit__()


if __name__ == "__main__":
    try:
        main()
    except wine_case.CaseFailure as failure:
        sys.exit("demo failed: %s" % failure)
