#pragma once
// Loop devices over an opened file. The kernel is handed the descriptor
// itself (LOOP_CONFIGURE, or LOOP_SET_FD and LOOP_SET_STATUS64 before Linux
// 5.8), so the device reads and writes the very file that was opened (a
// user's disk image opened as that user), never whatever its path names by
// then. Detached as before (losetup --detach).

#include <cstdint>
#include <optional>
#include <string>

namespace platform::disks {

// Attaches a free loop device to length bytes from offset of the file open
// as fd (read-write). The device's path ("/dev/loop7"), or nothing with the
// reason in error.
std::optional<std::string> AttachLoopDevice(int fd, std::int64_t offset, std::int64_t length, std::string* error);

}  // namespace platform::disks
