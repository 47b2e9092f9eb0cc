#!/usr/bin/env python3
"""The README's folder table against the tree: every top-level folder git
tracks is named in it, and every folder it names is there.

usage: foldertable.py SOURCE_ROOT    (exit 0 in line, 1 not, 77 not a git checkout)
"""

import os
import re
import subprocess
import sys

ROW = re.compile(r"^\|([^|]*)\|")
NAME = re.compile(r"`([^`]+/)`")


def table_folders(readme):
    """The folders the first column of the table under "## Folders" names."""
    folders, inside = [], False
    for line in readme.splitlines():
        if line.startswith("## "):
            inside = line.strip() == "## Folders"
            continue
        m = ROW.match(line) if inside else None
        if m:
            folders.extend(NAME.findall(m.group(1)))
    return folders


def tracked_top_folders(root):
    try:
        listing = subprocess.run(["git", "-C", root, "ls-files", "-z"], capture_output=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None
    return {name.split(b"/", 1)[0].decode() for name in listing.split(b"\0") if b"/" in name}


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", ".."))
    tracked = tracked_top_folders(root)
    if tracked is None:
        print("foldertable: %s is not a git checkout; nothing to compare" % root)
        return 77
    with open(os.path.join(root, "README.md"), encoding="utf-8") as f:
        named = table_folders(f.read())
    faults = ["README.md: the folder table does not name %s/" % folder
              for folder in sorted(tracked - {n.split("/", 1)[0] for n in named})]
    faults += ["README.md: the folder table names %s, which is not in the tree" % name
               for name in named if not os.path.isdir(os.path.join(root, name))]
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
