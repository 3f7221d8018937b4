#!/usr/bin/env python3
"""Builds the shipped programs of one CMake preset twice, from scratch, in two build folders of
different names, and checks that the two builds give byte-identical files.

  reproducible_build.py --source DIR --preset NAME --program TARGET=RELATIVE/PATH ...

Exit code 0 when every file is identical, 1 when one differs or a build fails.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def build(source, preset, build_dir, targets):
    for command in (["cmake", "--preset", preset, "-B", build_dir],
                    ["cmake", "--build", build_dir, "-j2", "--target"] + targets):
        result = subprocess.run(command, cwd=source, capture_output=True, text=True)
        if result.returncode != 0:
            print("failed: %s\n%s%s" % (" ".join(command), result.stdout, result.stderr))
            return False
    return True


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--source", required=True)
    parser.add_argument("--preset", required=True)
    parser.add_argument("--program", action="append", required=True, help="TARGET=path of its file in a build folder")
    args = parser.parse_args()
    programs = dict(item.split("=", 1) for item in args.program)

    scratch = tempfile.mkdtemp(prefix="zun-reproducible-")
    try:
        folders = [os.path.join(scratch, "first"), os.path.join(scratch, "second-build")]
        for folder in folders:
            if not build(args.source, args.preset, folder, list(programs)):
                return 1
        status = 0
        for target, path in programs.items():
            first, second = (open(os.path.join(folder, path), "rb").read() for folder in folders)
            if first == second:
                print("%s: %s identical in both builds (%d bytes)" % (args.preset, path, len(first)))
            else:
                print("%s: %s differs: %d and %d bytes, first difference at offset 0x%X"
                      % (args.preset, path, len(first), len(second), first_difference(first, second)))
                status = 1
        return status
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
