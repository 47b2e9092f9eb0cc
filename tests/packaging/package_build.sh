#!/usr/bin/env bash
# Builds the Debian packages (the program and its debug symbols) into a
# folder of the build tree, for the package tests that follow.
set -euo pipefail
build=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb "$out"/*.ddeb
