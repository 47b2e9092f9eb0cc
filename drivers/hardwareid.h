#pragma once
// Which driver package Windows picks for a PCI function, by ID alone.
//
// Windows gives a PCI function its hardware IDs, most specific first, then
// its compatible IDs, and prefers a driver by the first of these an INF
// names. Signature, date and version ranking come after that and are not
// modelled here. The IDs, in rank order (rank 0 is the best):
//
//   0  PCI\VEN_8086&DEV_9D2F&SUBSYS_224717AA&REV_21
//   1  PCI\VEN_8086&DEV_9D2F&SUBSYS_224717AA     (SUBSYS: device, then vendor)
//   2  PCI\VEN_8086&DEV_9D2F&REV_21
//   3  PCI\VEN_8086&DEV_9D2F
//   4  PCI\CC_0C0330                              (compatible: class, subclass, interface)
//   5  PCI\CC_0C03                                (compatible: class, subclass)
//
// IDs are compared as Windows compares them: whole, without case. An ID an
// INF writes in another shape (another order of fields, wrong digit counts,
// another bus) equals none of these and is never matched.

#include <string>
#include <vector>

#include "drivers/packagerecord.h"
#include "platform/machine/pcicontrollers.h"

namespace drivers {

inline constexpr int kFirstCompatibleRank = 4;

// The function's IDs in rank order, upper case.
std::vector<std::string> RankedIds(const platform::PciFunction& function);

// An INF's hardware ID as Windows compares it: trimmed, upper case.
std::string ComparableId(const std::string& infId);

struct PackageMatch {
  std::vector<const PackageRecord*> packages;  // all packages at the best rank, in the order given
  std::string id;                              // the function's ID they name (upper case)
  int rank = -1;                               // -1: no package names any of the function's IDs

  bool Found() const { return rank >= 0; }
};

// The packages that would drive the function. The pointers point into packages.
PackageMatch BestMatch(const platform::PciFunction& function, const std::vector<PackageRecord>& packages);

}  // namespace drivers
