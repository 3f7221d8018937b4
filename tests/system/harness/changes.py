#!/usr/bin/env python3
"""What a program run changed in a prefix: registry keys and values under HKEY_LOCAL_MACHINE and
files in the Windows directory, as short lines a person reads ("- key ...", "+ value ... = ...").

As a command (for scripts/demo.sh):
  changes.py save PREFIX DIR       keep the prefix's state in DIR
  changes.py show PREFIX DIR       print what changed since it was kept
Shut the prefix down first (wineserver -k): Wine writes its registry to its files then."""

import json
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_registry  # noqa: E402

# Wine's display driver rewrites its own class key at every start; that is no change of ours.
IGNORED_KEYS = ("system\\currentcontrolset\\control\\class\\{4d36e968-e325-11ce-bfc1-08002be10318}",)


def _ignored(folded):
    path = "\\".join(folded)
    return any(path == ignored or path.startswith(ignored + "\\") for ignored in IGNORED_KEYS)


def _value_name(name):
    return "(default)" if name is None else name


def registry_changes(before, after, root="HKLM"):
    """Removed keys (the topmost of each removed tree), added keys (likewise) with every value in
    them, and values added, removed or changed in keys that both sides have."""
    lines = []
    old, new = before.keys, after.keys
    for folded in sorted(set(old) - set(new)):
        if (len(folded) == 1 or folded[:-1] in new) and not _ignored(folded):
            lines.append("- key %s\\%s" % (root, "\\".join(old[folded][0])))
    for folded in sorted(set(new) - set(old)):
        if _ignored(folded):
            continue
        spelled, values = new[folded]
        if len(folded) == 1 or folded[:-1] in old:
            lines.append("+ key %s\\%s" % (root, "\\".join(spelled)))
        for name, kind, data in values.values():
            lines.append("+ value %s\\%s [%s] = %s" % (root, "\\".join(spelled), _value_name(name),
                                                       wine_registry.describe(kind, data)))
    for folded in sorted(set(old) & set(new)):
        if _ignored(folded):
            continue
        spelled, new_values = new[folded]
        old_values = old[folded][1]
        key = "%s\\%s" % (root, "\\".join(spelled))
        for folded_name in sorted(set(old_values) | set(new_values), key=str):
            was, now = old_values.get(folded_name), new_values.get(folded_name)
            if was is None:
                lines.append("+ value %s [%s] = %s" % (key, _value_name(now[0]), wine_registry.describe(*now[1:])))
            elif now is None:
                lines.append("- value %s [%s]" % (key, _value_name(was[0])))
            elif was[1:] != now[1:]:
                lines.append("~ value %s [%s]: %s -> %s" % (key, _value_name(now[0]), wine_registry.describe(*was[1:]),
                                                            wine_registry.describe(*now[1:])))
    return lines


def file_changes(before, after, root="%windir%"):
    """Files added, removed or rewritten below the Windows directory ({path: (size, mtime)} each)."""
    lines = []
    for path in sorted(set(before) | set(after), key=str.lower):
        if path not in after:
            lines.append("- file %s\\%s" % (root, path))
        elif path not in before:
            lines.append("+ file %s\\%s (%d bytes)" % (root, path, after[path][0]))
        elif before[path] != after[path]:
            lines.append("~ file %s\\%s" % (root, path))
    return lines


def files_of(windows_dir):
    found = {}
    for directory, _, names in os.walk(windows_dir):
        for name in names:
            full = os.path.join(directory, name)
            if os.path.islink(full):
                continue
            st = os.stat(full)
            found[os.path.relpath(full, windows_dir).replace(os.sep, "\\")] = (st.st_size, st.st_mtime_ns)
    return found


def main(argv):
    if len(argv) != 4 or argv[1] not in ("save", "show"):
        sys.exit(__doc__)
    command, prefix, keep = argv[1:]
    windows = os.path.join(prefix, "drive_c", "windows")
    if command == "save":
        os.makedirs(keep, exist_ok=True)
        shutil.copyfile(os.path.join(prefix, "system.reg"), os.path.join(keep, "system.reg"))
        with open(os.path.join(keep, "files.json"), "w") as f:
            json.dump(files_of(windows), f)
        return
    before = wine_registry.read_hive(os.path.join(keep, "system.reg"))
    after = wine_registry.read_hive(os.path.join(prefix, "system.reg"))
    with open(os.path.join(keep, "files.json")) as f:
        old_files = {path: tuple(entry) for path, entry in json.load(f).items()}
    lines = registry_changes(before, after) + file_changes(old_files, files_of(windows))
    for line in lines or ["(nothing changed)"]:
        print("     " + line)


if __name__ == "__main__":
    main(sys.argv)
