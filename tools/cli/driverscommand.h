#pragma once
// `kestrunex-cli [--prefix DIR] drivers ...`: the driver library from the
// command line, a thin layer over the library `drivers`.
//
//   drivers add [--sample] [--unsigned] PATH...   folders, .zip, .cab, .7z, self-extracting .exe, .msi
//   drivers list                     with each INF's device description and version
//   drivers remove NAME...           a package's name, or its base name (the INF's
//                                    name without the digest) when one package has it
//   drivers check [--lspci FILE]     (driverscheck.h)
//   drivers [SUBCOMMAND] --help
//
// One line per package added (or already there) and per refusal (the file
// and the reason). Exit status 0 when every PATH gave what it was added for
// (driversadd.h) and every NAME was removed, else 1; check's own are in
// driverscheck.h.

#include <string>
#include <vector>

#include "tools/cli/console.h"

// True when the arguments ask for the drivers command ("drivers" first,
// or after --prefix DIR).
bool IsDriversCommand(const std::vector<std::string>& args);
int RunDriversCommand(const std::vector<std::string>& args, Console& console);
