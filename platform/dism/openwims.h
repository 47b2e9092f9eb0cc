#pragma once
// The WIM files this process keeps open for its mounts, from the mount to
// the unmount, so that a WIM's tables and the image's metadata are read once
// per mount rather than once per call. An open file is used only while the
// file on disk is as it was when it was opened (size and time); otherwise it
// is opened afresh. Callers hold the servicing interface's lock.

#include <memory>
#include <string>

#include "platform/dism/mountregistry.h"
#include "platform/dism/wimfile.h"

namespace platform::dism {

// Keeps wim open for the mount id.
void RememberWim(unsigned id, std::unique_ptr<WimFile> wim, bool writable, const std::string& host);
// The mount's open WIM (with write access when asked), opened when needed.
// wimlib's code; out stays valid until ForgetWim or the next RememberWim.
[[nodiscard]] int OpenWimFor(const MountRecord& record, bool writable, WimFile*& out);
// Closes the mount's WIM (after an unmount, or after the file was written).
void ForgetWim(unsigned id);

}  // namespace platform::dism
