#!/usr/bin/env bash
# Builds the Debian packages (the program and its debug symbols) the way the
# README says, with scripts/build-package, into a folder of the build tree
# for the package tests that follow. Prints how long the build took.
set -euo pipefail
source=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
start=$(date +%s)
"$source/scripts/build-package" "$out/build" >"$out/build.log" 2>&1 || { tail -n 60 "$out/build.log"; exit 1; }
echo "package build: $(( $(date +%s) - start )) s on $(nproc) cores"
mv "$out"/build/*.deb "$out"/build/*.ddeb "$out"/
ls "$out"/*.deb "$out"/*.ddeb
