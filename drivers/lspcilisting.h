#pragma once
// The PCI functions in a saved listing of another machine's `lspci`, the
// usual case of making a medium on one machine for another. Two shapes are
// read, each record by its own shape, so a file may mix them:
//
//   lspci -vmmnn (or -vmmn)              lspci -nnv
//   Slot:   00:14.0                      00:14.0 USB controller [0c03]: Intel ... [8086:9d2f] (rev 21) (prog-if 30 [XHCI])
//   Class:  USB controller [0c03]        <TAB>Subsystem: Lenovo ... [17aa:2247]
//   Vendor: Intel Corporation [8086]     <TAB>Flags: ...
//   Device: ... [9d2f]
//   SVendor: Lenovo [17aa]
//   SDevice: ... [2247]
//   Rev:    21
//   ProgIf: 30
//
// Records end at a blank line or the next record. A record without a slot,
// class, vendor or device is left out, as is every line of another shape
// (a shell prompt, a pasted heading, a line over kMaxLspciLineChars); a
// missing revision, interface or subsystem is 0, as lspci leaves those out
// when they are 0. At most kMaxLspciFunctions are read.

#include <string>
#include <string_view>
#include <vector>

#include "platform/machine/pcicontrollers.h"
#include "platform/types.h"

namespace drivers {

inline constexpr std::size_t kMaxLspciLineChars = 4096;
inline constexpr std::size_t kMaxLspciFunctions = 4096;
// Far above the listing of any machine (a large server's -v listing is a few
// hundred KiB).
inline constexpr std::size_t kMaxLspciFileBytes = 8u << 20;

std::vector<platform::PciFunction> ParseLspciListing(std::string_view text);

// Reads the file through the platform's bounded reader; the reader's error
// number (platform/fs/readfile.h) when it cannot.
platform::DWORD ReadLspciListing(const std::string& hostPath, std::vector<platform::PciFunction>& functions);

}  // namespace drivers
