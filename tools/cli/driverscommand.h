#pragma once
// `kestrunex-cli [--prefix DIR] drivers ...`: the driver library from the
// command line, a thin layer over the library `drivers`.
//
//   drivers add [--sample] PATH...   folders, .zip, .cab, .7z, self-extracting .exe, .msi
//   drivers list
//   drivers remove NAME...
//   drivers check [--lspci FILE]     (driverscheck.h)
//
// One line per package added (or already there) and per refusal (the file
// and the reason). Exit status 0 when every PATH gave at least one package
// and every NAME was removed, else 1; check's own are in driverscheck.h.

#include <string>
#include <vector>

#include "tools/cli/console.h"

// True when the arguments ask for the drivers command ("drivers" first,
// or after --prefix DIR).
bool IsDriversCommand(const std::vector<std::string>& args);
int RunDriversCommand(const std::vector<std::string>& args, Console& console);
