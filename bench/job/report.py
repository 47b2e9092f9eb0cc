#!/usr/bin/env python3
"""The job benchmark's summary: medians, ratio ours/peer, peak memory, steps."""
import statistics
import sys
from collections import defaultdict

results = [line.split() for line in open(sys.argv[1]) if line.strip()]
steps = [line.split() for line in open(sys.argv[2]) if line.strip()]
ours = [(float(r[1]), int(r[2])) for r in results if r[0] == "ours"]
peer = [(float(r[1]), int(r[2])) for r in results if r[0] == "peer"]
ratios = [o[0] / p[0] for o, p in zip(ours, peer)]

peer_steps = defaultdict(list)
for r in results:
    if r[0] == "step":
        peer_steps[r[1]].append(float(r[2]))
our_steps = defaultdict(list)
for r in steps:
    our_steps[r[1]].append(float(r[2]))

usb = len(sys.argv) > 3 and sys.argv[3] == "--usb"
ours_median = statistics.median(o[0] for o in ours)
print(f"kestrunex-cli {'--usb F:' if usb else '--iso G: --compat'} --no-verify: median {ours_median:.2f} s, peak memory {max(o[1] for o in ours) / 1024:.1f} MiB")
peer_tools = "sfdisk, mkfs.vfat or mkfs.ntfs, fusefat or ntfs-3g, cp -r, wimlib-imagex update" if usb else "cp -r, wimlib-imagex update, xorriso"
print(f"peer script ({peer_tools}): median {statistics.median(p[0] for p in peer):.2f} s, "
      f"peak memory {max(p[1] for p in peer) / 1024:.1f} MiB")
# Bytes the program and its tools sent towards the disk (file system
# outputs, 512-byte units), where the time line carries them.
written = [int(r[3]) * 512 for r in results if r[0] == "ours" and len(r) > 3]
if written:
    print(f"written by ours: median {statistics.median(written) / 2**30:.2f} GiB")
print(f"rounds: {len(ratios)}; ratios ours/peer: {' '.join(f'{r:.3f}' for r in ratios)}")
print(f"median ratio ours/peer {statistics.median(ratios):.3f} (goal 1.10 or less)")
# The designed fixed waits of the chain: one settle second before each image
# mount (ISO mode in compatibility mode: boot.wim image 2 and the four images
# of install.wim; USB mode: boot.wim image 2) and, in USB mode, two seconds
# for the new volume's letter after the format.
waits = 1.0 + 2.0 if usb else 5.0
without = [(o[0] - waits) / p[0] for o, p in zip(ours, peer)]
print(f"designed fixed waits: {waits:.0f} s a run; median ratio without them {statistics.median(without):.3f}")
print()
print(f"{'step (median s)':<18}{'ours':>10}{'peer':>10}")
names = ["format", "copy-dvd", "boot.wim", "copy-os", "copy-other", "release"] if usb else \
    ["copy-dvd", "boot.wim", "copy-other", "install.wim", "iso", "delete-work"]
for name in names:
    o = f"{statistics.median(our_steps[name]):.2f}" if our_steps[name] else "-"
    p = f"{statistics.median(peer_steps[name]):.2f}" if peer_steps[name] else "-"
    print(f"{name:<18}{o:>10}{p:>10}")
traced = statistics.median(our_steps["traced"])
print(f"{'outside the chain':<18}{ours_median - traced:>10.2f}{'-':>10}   (start, checks, {'release of the stick' if usb else 'work folder deletion'}, exit)")
sys.exit(0 if statistics.median(ratios) <= 1.10 else 3)
