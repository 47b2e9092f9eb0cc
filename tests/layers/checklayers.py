#!/usr/bin/env python3
"""Checks that every #include of the source tree follows the layers.

The layers are what the CMake files declare: each folder's targets
(add_library/add_executable) and the targets they link
(target_link_libraries), and the top-level KX_LAYERS order, bottom first.
A file may include a header of its own target or of a target its target
reaches through its links; anything else goes up (or sideways across) the
layers and is reported with the file and line. Qt headers (the umbrella
<QtCore> and <QtWidgets> among them) and Qt targets belong to app/ and
src/gui/ only; the host's own headers (<sys/...>, <fcntl.h>, <unistd.h>,
<dirent.h> and the like) to platform/ and tools/, and to the few files the
architecture names (HOST_EXCEPTIONS). KX_LAYERS must list a folder after every
folder whose targets it links.

Usage: checklayers.py [ROOT]   (exit 0 clean, 1 violations, 2 unreadable tree)
"""

import os
import re
import sys

QT_FOLDERS = ("app", "src/gui")
HOST_FOLDERS = ("platform", "tools")
# Host calls the architecture allows outside platform/ and tools/ (its
# "Layers" section): the trace log's per-line open below its folder's
# descriptor, the driver library's descriptor-level folder and archive
# handling, and the benchmarks.
HOST_EXCEPTIONS = (
    "disk/tracelog.cpp",
    "drivers/archiveunpacker.cpp",
    "drivers/driverlibrary.cpp",
    "drivers/inputkind.cpp",
    "drivers/msiunpacker.cpp",
    "drivers/safefolder.cpp",
    "drivers/stalefolders.cpp",
    "bench/",
)
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".inc")
SKIPPED_FOLDERS = ("tests",)

COMMAND = re.compile(r"\b([A-Za-z_][A-Za-z0-9_]*)\s*\(")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Q[A-Z][A-Za-z0-9]*|Qt[A-Za-z0-9]*(/.*)?)$")
HOST_HEADER = re.compile(r"^(sys/.*|linux/.*|(fcntl|unistd|dirent|poll|signal|spawn|dlfcn|pwd|grp|termios|mntent|pthread)\.h)$")
GLOB_VAR = re.compile(r"\$\{([A-Za-z_][A-Za-z0-9_]*)\}")


class Target:
    def __init__(self, name, folder, cmake_file, line, kind):
        self.name = name
        self.folder = folder            # relative to the root, "/"-separated
        self.cmake_file = cmake_file
        self.line = line
        self.kind = kind                # "INTERFACE", "STATIC", "SHARED", "EXECUTABLE" ...
        self.links = []                 # (name, line)
        self.sources = set()            # relative paths


def strip_comments(text):
    out = []
    for line in text.splitlines():
        quoted = False
        for i, ch in enumerate(line):
            if ch == '"':
                quoted = not quoted
            elif ch == "#" and not quoted:
                line = line[:i]
                break
        out.append(line)
    return "\n".join(out)


def commands(text):
    """(name, [arguments], line) for every command call of a CMake file."""
    text = strip_comments(text)
    pos = 0
    while True:
        m = COMMAND.search(text, pos)
        if not m:
            return
        depth, i = 1, m.end()
        while i < len(text) and depth:
            depth += {"(": 1, ")": -1}.get(text[i], 0)
            i += 1
        body = text[m.end():i - 1]
        yield m.group(1).lower(), re.findall(r'"[^"]*"|[^\s"]+', body), text.count("\n", 0, m.start()) + 1
        pos = i


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def layer_order(root):
    text = strip_comments(read(os.path.join(root, "CMakeLists.txt")))
    m = re.search(r"set\s*\(\s*KX_LAYERS\s+([^)]*)\)", text)
    if not m:
        raise SystemExit("checklayers: no KX_LAYERS in %s/CMakeLists.txt" % root)
    line = text[:m.start()].count("\n") + 1  # comments stripped, lines kept
    return m.group(1).split(), line


def layer_of(folder, layers):
    best = None
    for index, layer in enumerate(layers):
        if folder == layer or folder.startswith(layer + "/"):
            if best is None or len(layer) > len(layers[best]):
                best = index
    return best


def walk_layers(root, layers):
    for layer in layers:
        top = os.path.join(root, layer)
        for folder, dirs, files in os.walk(top):
            rel = os.path.relpath(folder, root).replace(os.sep, "/")
            # A folder of KX_LAYERS below another (disk/usb below disk) is walked once, as itself.
            dirs[:] = sorted(d for d in dirs
                             if d not in SKIPPED_FOLDERS and rel + "/" + d not in layers)
            yield rel, sorted(files)


def read_targets(root, layers):
    targets = {}
    folders_with_cmake = set()
    for rel, files in walk_layers(root, layers):
        if "CMakeLists.txt" not in files:
            continue
        folders_with_cmake.add(rel)
        cmake_file = rel + "/CMakeLists.txt"
        globs = {}
        for name, args, line in commands(read(os.path.join(root, cmake_file))):
            if name == "file" and len(args) >= 3 and args[0] in ("GLOB", "GLOB_RECURSE"):
                globs[args[1]] = [a for a in args[2:] if "*" in a]
            elif name in ("add_library", "add_executable") and args:
                kind = "EXECUTABLE" if name == "add_executable" else "STATIC"
                if name == "add_library" and len(args) > 1 and args[1] in ("STATIC", "SHARED", "MODULE", "INTERFACE", "OBJECT"):
                    kind = args[1]
                target = Target(args[0], rel, cmake_file, line, kind)
                for arg in args[1:]:
                    var = GLOB_VAR.fullmatch(arg)
                    if var and var.group(1) in globs:
                        for pattern in globs[var.group(1)]:
                            suffix = pattern.rsplit("*", 1)[-1]
                            target.sources.update(rel + "/" + f for f in files if f.endswith(suffix))
                    elif arg.endswith(SOURCE_SUFFIXES):
                        path = arg.replace("${PROJECT_SOURCE_DIR}/", "").replace("${CMAKE_CURRENT_SOURCE_DIR}/", "")
                        target.sources.add(path if "/" in arg and arg.startswith("${PROJECT") else rel + "/" + path)
                targets[target.name] = target
            elif name == "target_link_libraries" and args and args[0] in targets:
                targets[args[0]].links.extend((a, line) for a in args[1:]
                                              if a not in ("PUBLIC", "PRIVATE", "INTERFACE"))
    return targets, folders_with_cmake


def closure(name, targets, memo):
    """Every project target name reaches through its links (cycles allowed:
    platform_fs and platform_machine name each other)."""
    if name not in memo:
        reached, todo = set(), [name]
        while todo:
            current = todo.pop()
            if current in reached:
                continue
            reached.add(current)
            todo.extend(link for link, _ in targets[current].links if link in targets)
        memo[name] = reached
    return memo[name]


class Checker:
    def __init__(self, root):
        self.root = root
        self.layers, self.layers_line = layer_order(root)
        self.targets, self.cmake_folders = read_targets(root, self.layers)
        self.memo = {}
        self.owners = {}  # source file -> targets compiling it
        for target in self.targets.values():
            for source in target.sources:
                self.owners.setdefault(source, set()).add(target.name)
        self.errors = []

    def folder_of(self, rel_path):
        folder = os.path.dirname(rel_path)
        while folder and folder not in self.cmake_folders:
            folder = os.path.dirname(folder)
        return folder

    def targets_of(self, rel_path):
        """The targets a file belongs to: those compiling it, those compiling
        a source of the same name beside it (a header), else every target of
        its folder that has sources."""
        if rel_path in self.owners:
            return self.owners[rel_path]
        stem = os.path.splitext(rel_path)[0]
        for suffix in (".cpp", ".cc", ".c"):
            if stem + suffix in self.owners:
                return self.owners[stem + suffix]
        folder = self.folder_of(rel_path)
        return {t.name for t in self.targets.values() if t.folder == folder and t.kind != "INTERFACE"}

    def resolve(self, rel_path, quote, header):
        candidates = []
        if quote == '"':
            candidates.append(os.path.join(os.path.dirname(rel_path), header))
        candidates.append(header)
        for candidate in candidates:
            norm = os.path.normpath(candidate).replace(os.sep, "/")
            if not norm.startswith("..") and layer_of(norm, self.layers) is not None \
                    and os.path.isfile(os.path.join(self.root, norm)):
                return norm
        return None

    def check_file(self, rel_path):
        in_qt_folder = any(rel_path.startswith(f + "/") for f in QT_FOLDERS)
        host_allowed = any(rel_path.startswith(f + "/") for f in HOST_FOLDERS) or \
            any(rel_path == e or e.endswith("/") and rel_path.startswith(e) for e in HOST_EXCEPTIONS)
        own = self.targets_of(rel_path)
        allowed = set()
        for name in own:
            allowed |= closure(name, self.targets, self.memo)
        for number, text in enumerate(read(os.path.join(self.root, rel_path)).splitlines(), 1):
            m = INCLUDE.match(text)
            if not m:
                continue
            quote, header = m.groups()
            if quote == "<" and QT_HEADER.match(header) and not in_qt_folder:
                self.errors.append("%s:%d: Qt header <%s> outside %s" % (rel_path, number, header, " and ".join(f + "/" for f in QT_FOLDERS)))
                continue
            if quote == "<" and HOST_HEADER.match(header) and not host_allowed:
                self.errors.append("%s:%d: host header <%s> outside %s (the host is reached through platform/)" % (
                    rel_path, number, header, " and ".join(f + "/" for f in HOST_FOLDERS)))
                continue
            target_path = self.resolve(rel_path, quote, header)
            if target_path is None:
                continue
            providers = self.targets_of(target_path)
            if not providers or providers & allowed or self.folder_of(target_path) == self.folder_of(rel_path) and not own:
                continue
            here = ", ".join(sorted(own)) or "no target"
            mine = layer_of(self.folder_of(rel_path), self.layers)
            theirs = layer_of(self.folder_of(target_path), self.layers)
            how = "goes up the layers" if theirs > mine else "reaches a target its own does not link"
            self.errors.append("%s:%d: #include \"%s\" %s: %s (%s) is not linked by %s" % (
                rel_path, number, header, how, "/".join(sorted(providers)), self.folder_of(target_path), here))

    def check_order(self):
        for target in sorted(self.targets.values(), key=lambda t: (t.cmake_file, t.line)):
            mine = layer_of(target.folder, self.layers)
            for link, line in target.links:
                if re.match(r"Qt\d*::", link) and not any(target.folder == f or target.folder.startswith(f + "/") for f in QT_FOLDERS):
                    self.errors.append("%s:%d: %s links %s outside %s" % (target.cmake_file, line, target.name, link, " and ".join(f + "/" for f in QT_FOLDERS)))
                if link not in self.targets:
                    continue
                theirs = layer_of(self.targets[link].folder, self.layers)
                if theirs > mine:
                    self.errors.append("%s:%d: %s (%s) links %s (%s), but KX_LAYERS (CMakeLists.txt:%d) lists %s above %s" % (
                        target.cmake_file, line, target.name, target.folder, link, self.targets[link].folder,
                        self.layers_line, self.layers[theirs], self.layers[mine]))

    def run(self):
        self.check_order()
        for rel, files in walk_layers(self.root, self.layers):
            for f in files:
                if f.endswith(SOURCE_SUFFIXES):
                    self.check_file(rel + "/" + f)
        return self.errors


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", ".."))
    if not os.path.isfile(os.path.join(root, "CMakeLists.txt")):
        print("checklayers: %s has no CMakeLists.txt" % root, file=sys.stderr)
        return 2
    errors = Checker(root).run()
    for error in errors:
        print(error)
    if errors:
        print("checklayers: %d include(s) or link(s) against the layers" % len(errors), file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
