#!/usr/bin/env python3
"""Fails when the product drops a result it was told to look at.

GCC does not warn when the result of a [[nodiscard]] virtual function is
dropped; clang does. This compiles every product source of the build's
compile_commands.json (not tests, not benchmarks, nothing generated) with
clang++ -fsyntax-only and only -Werror=unused-result, a few files at a time,
and prints each dropped result with its file and line. Before that it makes
sure the compiler still catches a planted drop, so flags that silence the
check cannot pass unnoticed.

usage: unusedresults.py SOURCE_ROOT COMPILE_COMMANDS [CLANG]
exit: 0 clean, 1 dropped results or a file clang cannot read, 2 no compiler
"""

import concurrent.futures
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

NOT_PRODUCT = ("tests", "bench", "build")
CHECK_FLAGS = ["-fsyntax-only", "-Wno-everything", "-Wunused-result", "-Werror=unused-result", "-ferror-limit=0"]
DROPPED = "[-Werror,-Wunused-result]"
PLANTED = ("struct Step { [[nodiscard]] virtual bool Excute() = 0; virtual ~Step() = default; };\n"
           "void Run(Step& step) { step.Excute(); }\n")
# Flags that only concern the object file or GCC's own reporting.
DROP_WITH_VALUE = {"-o", "-MT", "-MF", "-MQ"}
DROP_ALONE = {"-c", "-MD", "-MMD", "-g"}


def is_product(path, root, build):
    path = os.path.realpath(path)
    if not path.startswith(root + os.sep) or path.startswith(build + os.sep):
        return False
    return os.path.relpath(path, root).split(os.sep)[0] not in NOT_PRODUCT


def check_command(entry, clang):
    args = entry.get("arguments") or shlex.split(entry["command"])
    out, skip = [clang], False
    for arg in args[1:]:
        if skip:
            skip = False
        elif arg in DROP_WITH_VALUE:
            skip = True
        elif arg in DROP_ALONE or arg.startswith(("-W", "-O", "-fdiagnostics-color")) or arg == entry["file"]:
            continue
        else:
            out.append(arg)
    return out + CHECK_FLAGS + [entry["file"]]


def run(command, directory):
    done = subprocess.run(command, cwd=directory, capture_output=True, text=True)
    return done.returncode, done.stderr


def planted_drop_is_caught(clang):
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "planted.cpp")
        with open(source, "w") as f:
            f.write(PLANTED)
        code, text = run([clang, "-std=c++20"] + CHECK_FLAGS + [source], folder)
        return code != 0 and DROPPED in text


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.realpath(argv[1])
    commands_file = argv[2]
    clang = argv[3] if len(argv) > 3 else shutil.which("clang++")
    if not clang:
        print("unusedresults: no clang++ (scripts/install-deps installs it)", file=sys.stderr)
        return 2
    if not planted_drop_is_caught(clang):
        print("unusedresults: %s does not report a dropped [[nodiscard]] result" % clang)
        return 1
    build = os.path.realpath(os.path.dirname(commands_file))
    with open(commands_file) as f:
        entries = [e for e in json.load(f) if is_product(e["file"], root, build)]
    seen, unique = set(), []
    for e in entries:
        if e["file"] not in seen:
            seen.add(e["file"])
            unique.append(e)
    faults = []
    workers = max(1, min(len(unique), os.cpu_count() or 1))
    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        results = pool.map(lambda e: (e, run(check_command(e, clang), e["directory"])), unique)
        for entry, (code, text) in results:
            if code == 0:
                continue
            rel = os.path.relpath(entry["file"], root)
            lines = [line for line in text.splitlines() if DROPPED in line]
            faults.extend(lines or ["%s: clang cannot read it:\n%s" % (rel, text.strip())])
    for fault in faults:
        print(fault.replace(root + os.sep, ""))
    print("unusedresults: %d product files, %d finding(s)" % (len(unique), len(faults)), file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
