#pragma once
// The calling thread's last error number, as the system keeps it: every
// platform call that fails sets it; calls that succeed leave it alone unless
// they say otherwise.

#include "platform/types.h"

namespace platform {

DWORD GetLastError();
void SetLastError(DWORD error);

// Maps a host errno value onto the system's error number.
DWORD ErrorFromErrno(int err);

}  // namespace platform
