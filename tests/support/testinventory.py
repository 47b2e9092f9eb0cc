#!/usr/bin/env python3
"""Checks the suite's own list of tests, as CTest shows it.

Every test carries exactly one tier label (unit, system, fuzz, stress), so
`ctest -L unit` is the fast tier and nothing falls outside every tier. Every
name is readable and the same on every build: no printed bytes or addresses
(a parameterised suite without a name generator gets those, or bare case
numbers), so `ctest --rerun-failed` and the cost data find the tests again.

usage: testinventory.py CTEST BUILD_DIR
"""
import json
import re
import subprocess
import sys

TIERS = {"unit", "system", "fuzz", "stress"}
# Printed values: raw bytes, addresses, and case numbers of a suite that
# names none.
UNSTABLE = [
    (re.compile(r"object <"), "raw bytes of a value"),
    (re.compile(r"0x[0-9A-Fa-f]"), "an address or hexadecimal value"),
    (re.compile(r"/[0-9]+$"), "a bare case number"),
    (re.compile(r"[\"' ]"), "a printed text"),
]


def main():
    ctest, build = sys.argv[1], sys.argv[2]
    listing = subprocess.run([ctest, "--show-only=json-v1"], cwd=build, check=True,
                             capture_output=True, text=True).stdout
    tests = json.loads(listing)["tests"]
    faults = []
    for test in tests:
        name = test["name"]
        labels = set()
        for prop in test.get("properties", []):
            if prop["name"] == "LABELS":
                labels = set(prop["value"])
        tiers = sorted(labels & TIERS)
        if len(tiers) != 1:
            faults.append(f"{name}: tier labels {tiers or 'none'}, not exactly one of {sorted(TIERS)}"
                          " (kx_add_test / kx_add_script_test TIER, tests/kx_test.cmake)")
        for pattern, what in UNSTABLE:
            if pattern.search(name):
                faults.append(f"{name}: the name holds {what}; give the suite a name generator"
                              " (tests/support/casename.h)")
    for fault in faults:
        print(fault)
    print(f"{len(tests)} tests, {len(faults)} faults")
    return 1 if faults or not tests else 0


if __name__ == "__main__":
    sys.exit(main())
