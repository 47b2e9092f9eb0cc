#pragma once
// `drivers add`: each path unpacked (when it is an archive or an MSI) into a
// private temporary folder, its INF files checked, the packages that pass
// stored in the library. One line per package and per refusal. Each
// package's catalog and signatures are checked: an amd64 package that is not
// signed for Windows, or has a file that does not match its catalog, is
// refused with the reasons unless allowUnsigned (then stored, marked, with a
// warning); for x86 the same findings are warnings.

#include <string>
#include <vector>

#include "drivers/driverlibrary.h"
#include "tools/cli/console.h"

// kExitSuccess when every path gave at least one package (added or already
// there) and none of its driver packages was refused for its signature or
// left unstored; else kExitFailure (a download whose 64-bit package was
// refused did not give what it was added for, whatever else it held).
int AddDriverPaths(drivers::DriverLibrary& library, const std::vector<std::string>& paths, bool sample,
                   bool allowUnsigned, Console& console);
