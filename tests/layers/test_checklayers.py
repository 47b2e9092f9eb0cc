#!/usr/bin/env python3
"""The layer checker on tiny trees: a lower folder and a higher one that
links it, one include that is fine and one that is not, per case."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "checklayers.py")

TOP = "project(T)\nset(KX_LAYERS {layers})\n"
LOW = "add_library(low STATIC a.cpp)\n"
HIGH = "add_library(high STATIC\n  h.cpp)\ntarget_link_libraries(high PUBLIC low {extra})\n"
SIDE = "file(GLOB S CONFIGURE_DEPENDS ${{CMAKE_CURRENT_SOURCE_DIR}}/*.cpp)\nadd_library(side STATIC ${{S}})\n"


def tree(root, files):
    for rel, text in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)


def base(layers="low high side", low_cpp="", high_cpp="", side_cpp="", extra=""):
    return {
        "CMakeLists.txt": TOP.format(layers=layers),
        "low/CMakeLists.txt": LOW,
        "low/a.h": "#pragma once\n",
        "low/a.cpp": '#include "low/a.h"\n' + low_cpp,
        "high/CMakeLists.txt": HIGH.format(extra=extra),
        "high/h.h": "#pragma once\n",
        "high/h.cpp": '#include "high/h.h"\n#include "low/a.h"\n' + high_cpp,
        "side/CMakeLists.txt": SIDE.format(),
        "side/s.h": "#pragma once\n",
        "side/s.cpp": '#include "side/s.h"\n#include <vector>\n' + side_cpp,
        # Test folders may include anything.
        "tests/t.cpp": '#include "high/h.h"\n#include <QString>\n',
    }


# (case, tree, expected lines of the report; none means a clean tree)
CASES = [
    ("includes down and within a target", base(), []),
    ("an include up the layers", base(low_cpp='\n#include "high/h.h"\n'),
     ['low/a.cpp:3: #include "high/h.h" goes up the layers: high (high) is not linked by low']),
    ("an include of a target below that is not linked",
     base(high_cpp='#include "side/s.h"\n', layers="low side high"),
     ['high/h.cpp:3: #include "side/s.h" reaches a target its own does not link: side (side) is not linked by high']),
    ("the same include once it is linked", base(high_cpp='#include "side/s.h"\n', layers="low side high", extra="side"), []),
    ("a Qt header outside the window code", base(side_cpp="#include <QtCore/QString>\n"),
     ["side/s.cpp:3: Qt header <QtCore/QString> outside app/ and src/gui/"]),
    ("a Qt umbrella header outside the window code", base(side_cpp="#include <QtWidgets>\n"),
     ["side/s.cpp:3: Qt header <QtWidgets> outside app/ and src/gui/"]),
    ("host headers outside the platform layer", base(high_cpp="#include <sys/stat.h>\n#include <unistd.h>\n"),
     ["high/h.cpp:3: host header <sys/stat.h> outside platform/ and tools/ (the host is reached through platform/)",
      "high/h.cpp:4: host header <unistd.h> outside platform/ and tools/ (the host is reached through platform/)"]),
    ("host headers in the platform layer, the tools and a named exception",
     dict(base(layers="platform low high tools drivers"), **{
         "platform/CMakeLists.txt": "add_library(p STATIC p.cpp)\n", "platform/p.cpp": "#include <fcntl.h>\n",
         "tools/CMakeLists.txt": "add_library(t STATIC t.cpp)\n", "tools/t.cpp": "#include <dirent.h>\n",
         "drivers/CMakeLists.txt": "add_library(d STATIC safefolder.cpp)\n",
         "drivers/safefolder.cpp": "#include <sys/stat.h>\n"}), []),
    ("targets that name each other reach what either links", dict(base(layers="low side pair high"), **{
        "pair/CMakeLists.txt": "add_library(pa STATIC pa.cpp)\nadd_library(pb STATIC pb.cpp)\n"
                               "target_link_libraries(pa PUBLIC pb side)\ntarget_link_libraries(pb PUBLIC pa)\n",
        "pair/pa.cpp": '#include "low/a.h"\n',
        "pair/pb.cpp": '#include "side/s.h"\n'}),
     ['pair/pa.cpp:1: #include "low/a.h" reaches a target its own does not link: low (low) is not linked by pa']),
    ("a link to a folder KX_LAYERS lists later", base(layers="high low side"),
     ["high/CMakeLists.txt:3: high (high) links low (low), but KX_LAYERS (CMakeLists.txt:2) lists low above high"]),
]


class LayerChecker(unittest.TestCase):
    def test_cases(self):
        for name, files, expected in CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                tree(root, files)
                run = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
                self.assertEqual(run.stdout.splitlines(), expected, run.stderr)
                self.assertEqual(run.returncode, 1 if expected else 0, run.stderr)


if __name__ == "__main__":
    unittest.main()
