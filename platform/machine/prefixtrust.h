#pragma once
// Whether a prefix folder may be trusted by this process. The prefix holds
// the machine's profile, the system drive (C:'s tools and data folder) and
// the records of mounts and loop devices, so whoever can write it steers
// what a root process formats, mounts, deletes and runs. A prefix is used
// only when it and every folder above it belong to root, to this process's
// user, or (for a root process) to the user who started it through sudo or
// pkexec (SUDO_UID, PKEXEC_UID), and no one else can write them; a parent
// that others can write must be sticky (/tmp), so nobody can replace what
// is in it. Links on the way are resolved first and the resolved folders
// are the ones checked and used from then on.

#include <optional>
#include <string>

namespace platform {

// The user's home folder: from the password database for root (never a
// HOME a caller set), $HOME else, the password database when that is
// unset; empty when there is none.
std::string HomeFolder();

// The home folder of the user the program works for: for root started
// through sudo or pkexec, the invoking user's (from the password database),
// else HomeFolder(). Where the dialogs that pick the user's files start.
std::string InvokerHomeFolder();

// Checks an existing prefix folder. The resolved folder when it may be
// trusted; nullopt with reason set ("/x/y is owned by user 1000", "... can
// be written by other users", "... does not exist") otherwise.
std::optional<std::string> TrustedPrefix(const std::string& prefix, std::string& reason);

// The owners a prefix folder may have for this process.
bool IsTrustedOwner(unsigned uid);

}  // namespace platform
