#!/usr/bin/env python3
"""Writes the folder trees that scripts/make-sample-medium captures into WIMs.

Kinds of tree:
  pe       a Windows PE tree (boot.wim image 1)
  setup    the Setup tree (boot.wim image 2), with published oemN.inf files
  install  an installed-system tree (install.wim images)
  edition  the few files that tell one install image from another

Every tree carries Windows\\System32\\ntoskrnl.exe with a PE header whose
machine field names the architecture, Windows\\INF and the driver store, so
the servicing code finds what a real image holds. File contents are
pseudo-random (seeded, so a run is repeatable) and do not compress, which
makes the WIM as large as the data asked for.
"""

import argparse
import os
import random
import struct

MACHINE = {"amd64": 0x8664, "x86": 0x014C}
KIB = 1024
MIB = 1024 * 1024


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def pe_image(arch, payload=b""):
    """A minimal image: MZ header, e_lfanew at 0x3C, PE signature, machine."""
    header = bytearray(0x40)
    header[0:2] = b"MZ"
    struct.pack_into("<I", header, 0x3C, 0x40)
    pe = b"PE\0\0" + struct.pack("<HH", MACHINE[arch], 0) + bytes(16)
    return bytes(header) + pe + payload


def random_bytes(rng, size):
    return rng.getrandbits(size * 8).to_bytes(size, "little") if size else b""


def inf_text(name, provider):
    return (
        "[Version]\r\n"
        'Signature="$Windows NT$"\r\n'
        "Class=System\r\n"
        "ClassGuid={4d36e97d-e325-11ce-bfc1-08002be10318}\r\n"
        f"Provider=%{provider}%\r\n"
        "DriverVer=06/21/2006,6.1.7600.16385\r\n\r\n"
        "[Manufacturer]\r\n"
        f"%{provider}%=Models,NTamd64,NTx86\r\n\r\n"
        "[Models.NTamd64]\r\n"
        f"%Dev%={name}_Install,ROOT\\{name.upper()}\r\n\r\n"
        "[Models.NTx86]\r\n"
        f"%Dev%={name}_Install,ROOT\\{name.upper()}\r\n\r\n"
        f"[{name}_Install]\r\n\r\n"
        "[Strings]\r\n"
        f'{provider}="Sample"\r\n'
        f'Dev="{name} device"\r\n'
    ).encode("ascii")


def common_system(root, arch, rng, label):
    sys32 = os.path.join(root, "Windows", "System32")
    write(os.path.join(sys32, "ntoskrnl.exe"), pe_image(arch, random_bytes(rng, 24 * KIB)))
    write(os.path.join(sys32, "kernel32.dll"), pe_image(arch, random_bytes(rng, 12 * KIB)))
    write(os.path.join(sys32, "drivers", "disk.sys"), pe_image(arch, random_bytes(rng, 4 * KIB)))
    write(os.path.join(sys32, "config", "SYSTEM"), b"regf" + random_bytes(rng, 8 * KIB))
    write(os.path.join(sys32, "DriverStore", "FileRepository", "machine.inf_" + arch + "_neutral_0123456789abcdef",
                       "machine.inf"), inf_text("machine", "MS"))
    for name in ("machine", "usbport", "disk"):
        write(os.path.join(root, "Windows", "INF", name + ".inf"), inf_text(name, "MS"))
    write(os.path.join(root, "Windows", "label.txt"), label.encode("ascii") + b"\r\n")


def bulk_files(root, rng, total_bytes, count):
    """Spreads total_bytes over count files in a few hundred folders, sizes
    drawn from a heavy-tailed distribution as in an installed system."""
    if count <= 0 or total_bytes <= 0:
        return
    weights = [rng.paretovariate(1.2) for _ in range(count)]
    scale = total_bytes / sum(weights)
    folders = max(1, count // 60)
    written = 0
    for i, w in enumerate(weights):
        size = int(w * scale) if i < count - 1 else max(0, total_bytes - written)
        size = min(size, max(0, total_bytes - written))
        folder = os.path.join(root, "Windows", "winsxs", f"pkg{i % folders:04d}")
        path = os.path.join(folder, f"file{i:06d}.dll")
        os.makedirs(folder, exist_ok=True)
        with open(path, "wb") as f:
            left = size
            while left:
                chunk = min(left, 4 * MIB)
                f.write(os.urandom(chunk) if chunk > 64 * KIB else random_bytes(rng, chunk))
                left -= chunk
        written += size


def main():
    p = argparse.ArgumentParser()
    p.add_argument("kind", choices=["pe", "setup", "install", "edition"])
    p.add_argument("root")
    p.add_argument("--arch", choices=sorted(MACHINE), default="amd64")
    p.add_argument("--bytes", type=int, default=0, help="bulk data in bytes")
    p.add_argument("--files", type=int, default=0, help="bulk file count")
    p.add_argument("--label", default="")
    p.add_argument("--seed", type=int, default=7)
    a = p.parse_args()
    rng = random.Random(a.seed)

    if a.kind == "edition":
        write(os.path.join(a.root, "Windows", "Branding", a.label + ".txt"), random_bytes(rng, 2 * KIB))
        return
    common_system(a.root, a.arch, rng, a.label or a.kind)
    if a.kind == "pe":
        write(os.path.join(a.root, "Windows", "System32", "winpeshl.ini"), b"[LaunchApps]\r\n")
    if a.kind == "setup":
        write(os.path.join(a.root, "sources", "setup.exe"), pe_image(a.arch, random_bytes(rng, 8 * KIB)))
        for n in range(2):
            write(os.path.join(a.root, "Windows", "INF", f"oem{n}.inf"), inf_text(f"oemsample{n}", "OEM"))
    if a.kind == "install":
        write(os.path.join(a.root, "Windows", "explorer.exe"), pe_image(a.arch, random_bytes(rng, 16 * KIB)))
        write(os.path.join(a.root, "Users", "Default", "NTUSER.DAT"), b"regf" + random_bytes(rng, 4 * KIB))
    bulk_files(a.root, rng, a.bytes, a.files)


if __name__ == "__main__":
    main()
