#pragma once
// Names of PCI vendors, devices and subsystems from the PCI ID database
// (Debian's package pci.ids, /usr/share/misc/pci.ids). The file is outside
// input: it is read through the platform's bounded reader, and any line that
// is not one of the shapes below is passed over.
//
//   8086  Intel Corporation                       vendor
//   <TAB>9d2f  Sunrise Point-LP USB 3.0 xHCI Controller    device of the vendor above
//   <TAB><TAB>17aa 2247  ThinkPad T470                     subsystem of the device above
//   C 0c  Serial bus controller                   the class list: no vendor after it
//
// Names are cut to kMaxPciNameChars bytes, control characters replaced by
// '?'. A missing or unreadable database gives empty names, never an error.

#include <string>
#include <string_view>

#include "platform/machine/pcicontrollers.h"

namespace drivers {

inline constexpr const char* kPciIdsFile = "/usr/share/misc/pci.ids";
inline constexpr std::size_t kMaxPciNameChars = 200;

struct PciNames {
  std::string vendor;     // "Intel Corporation"
  std::string device;     // "Sunrise Point-LP USB 3.0 xHCI Controller"
  std::string subVendor;  // the subsystem's vendor: "Lenovo"
  std::string subsystem;  // the subsystem's own name, when the database has one
};

class PciIdDatabase {
 public:
  // The database at a host path; empty when it cannot be read.
  static PciIdDatabase Load(const std::string& hostPath = kPciIdsFile);
  explicit PciIdDatabase(std::string text) : text_(std::move(text)) {}

  bool Empty() const { return text_.empty(); }
  // One pass over the text per call.
  PciNames Names(const platform::PciFunction& function) const;
  std::string VendorName(std::uint16_t vendor) const;

 private:
  std::string text_;
};

}  // namespace drivers
