#pragma once
// The private working folders of runs that can die before they clean up
// (killed, the machine switched off): a run holds an exclusive lock on its
// folder for as long as it lives, and a later start removes the folders of
// its prefix whose lock is free. Only real folders (no links) owned by this
// process's user with mode 0700 are touched, and they are removed by
// descriptor, never following a link inside them.

#include <string>

#include "drivers/safefolder.h"

namespace drivers {

// Opens folder and locks it for the caller's lifetime (invalid when it
// cannot be opened or locked).
UniqueFd HoldFolder(const std::string& folder);

// Removes the stale folders "<parent>/<prefix>*"; how many were removed.
int SweepStaleFolders(const std::string& parent, const std::string& prefix);

}  // namespace drivers
