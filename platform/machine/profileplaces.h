#pragma once
// What a profile may name. A profile in a prefix of the user root runs for
// (sudo, pkexec) is that user's: every image, folder and file it names is
// opened as the user (platform/invoker), so it cannot steer root to a file
// the user could not use. A profile of root's own prefix may name a driver
// library or list of roots only in places nobody else controls.
// Each check returns an empty text when the place may be used, else the
// reason naming it.

#include <string>

#include "platform/machine/machine.h"

namespace platform {

// Whether the prefix folder belongs to the invoking user (not root).
bool IsInvokersPrefix(const std::string& prefix);

// A disk image of the user's profile: opened for reading and writing as the
// user and held by the disk (DiskDecl::held); a regular file or block device.
std::string HoldInvokersDiskImage(DiskDecl& disk);

// A folder of the user's profile: the user can open it and, when write is
// set, make and remove names in it. A folder that does not exist yet
// answers for the nearest folder above it.
std::string CheckInvokersFolder(const std::string& folder, bool write);

// A file of the user's profile the user can read.
std::string CheckInvokersFile(const std::string& file);

// A record or lock file in the current machine's prefix (volume and mount
// records): opened without following a link, as the invoking user when the
// prefix is theirs (a link they put at the record's name must not turn
// root's write into one elsewhere). A descriptor, or -1 with errno.
int OpenPrefixFile(const std::string& path, int flags, unsigned mode);
// Writes text as the whole new content of such a file: into path.new,
// opened as above, synced, then renamed over path. False on any failure.
bool ReplacePrefixFile(const std::string& path, const std::string& text);

// A library folder or file of roots named by root's own profile: no link
// on the way belongs to another user, and the place (or, while it does not
// exist, the nearest folder above it) and every folder above it belong to
// root or to this process's user, with no one else able to write them
// (sticky folders such as /tmp excepted above the place).
std::string CheckSystemPlace(const std::string& place);

}  // namespace platform
