#!/usr/bin/env python3
"""Where one run of ours spent its time, from the trace log's timestamps.

Prints "ourstep NAME SECONDS" for the steps of the ISO-mode chain in
compatibility mode (or with --usb the USB-mode chain, which copies OS), and "ourstep traced
SECONDS" for the whole chain.
"""
import sys

USB_MARKERS = [
    ("start", "WIN7_OPERAT_INFO:szSourcePath", 1),
    ("format", "USBOperation::create", 1),
    ("copy-dvd", "CopyOperation::Create", 1),
    ("boot.wim", "DismOperation::DismOperation", 1),
    ("copy-os", "CopyOperation::Create", 2),
    ("copy-other", "CopyOperation::Create", 3),
    ("end", "[UpdateResult]", 1),
]
MARKERS = [  # (step that starts at the marker, text of the marker, occurrence)
    ("start", "WIN7_OPERAT_INFO:szSourcePath", 1),
    ("copy-dvd", "CopyOperation::Create", 1),
    ("boot.wim", "DismOperation::DismOperation", 1),
    ("copy-other", "CopyOperation::Create", 2),
    ("install.wim", "DismOperation::DismOperation", 2),
    ("iso", "ISOOperation create", 1),
    ("end", "[UpdateResult]", 1),
]


def seconds(stamp):
    h, m, s = stamp.split(":")
    return int(h) * 3600 + int(m) * 60 + float(s)


def main(path, markers):
    lines = open(path, encoding="utf-8", errors="replace").read().splitlines()
    times = []
    for name, text, occurrence in markers:
        seen = 0
        for line in lines:
            if text in line:
                seen += 1
                if seen == occurrence:
                    times.append((name, seconds(line.split(" ", 1)[0])))
                    break
        else:
            sys.exit(f"steps.py: no marker {text!r} (#{occurrence}) in {path}")
    day = 24 * 3600
    for (name, t0), (_, t1) in zip(times, times[1:]):
        if name != "start":
            print(f"ourstep {name} {(t1 - t0) % day:.3f}")
    print(f"ourstep traced {(times[-1][1] - times[0][1]) % day:.3f}")


if sys.argv[1] == "--usb":
    main(sys.argv[2], USB_MARKERS)
else:
    main(sys.argv[1], MARKERS)
