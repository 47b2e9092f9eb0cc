"""Adds bulk to a sample work folder for bench/iso/run: a sparse install.wim
over 4 GiB, a few large files, many small ones in nested folders, and a
share of identical copies (driver trees repeat files)."""
import os
import random
import sys

root, size_mib = sys.argv[1], int(sys.argv[2])
# The sparse install.wim's size in MiB (a third argument; default over 4 GiB).
wim_mib = int(sys.argv[3]) if len(sys.argv) > 3 else (4 << 10) + 300
rng = random.Random(7)

wim = os.path.join(root, "sources", "install.wim")
with open(wim, "r+b" if os.path.exists(wim) else "wb") as f:
    f.truncate(max(wim_mib, 1) << 20)
    f.seek(0)
    f.write(b"MSWIM\0\0\0" + rng.randbytes(1 << 20))

large = size_mib * 6 // 10
for i in range(3):
    path = os.path.join(root, "sources", f"large{i}.cab")
    with open(path, "wb") as f:
        for _ in range(large // 3):
            f.write(rng.randbytes(1 << 20))

small_budget = (size_mib - large) << 20
copies = []
n = 0
while small_budget > 0:
    folder = os.path.join(root, "Other", f"d{n % 40:02d}", f"s{n % 7}")
    os.makedirs(folder, exist_ok=True)
    size = rng.randint(1024, 256 * 1024)
    path = os.path.join(folder, f"file{n:05d}.sys")
    if copies and rng.random() < 0.15:
        data = rng.choice(copies)
    else:
        data = rng.randbytes(size)
        if len(copies) < 64:
            copies.append(data)
    with open(path, "wb") as f:
        f.write(data)
    small_budget -= len(data)
    n += 1
