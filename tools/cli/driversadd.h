#pragma once
// `drivers add`: each path unpacked (when it is an archive or an MSI) into a
// private temporary folder, its INF files checked, the packages that pass
// stored in the library. One line per package and per refusal.

#include <string>
#include <vector>

#include "drivers/driverlibrary.h"
#include "tools/cli/console.h"

// kExitSuccess when every path gave at least one package (added or already
// there), else kExitFailure.
int AddDriverPaths(drivers::DriverLibrary& library, const std::vector<std::string>& paths, bool sample,
                   Console& console);
