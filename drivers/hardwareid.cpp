#include "drivers/hardwareid.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace drivers {
namespace {

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace

std::vector<std::string> RankedIds(const platform::PciFunction& f) {
  const std::string base = "PCI\\VEN_" + Hex(f.vendor, 4) + "&DEV_" + Hex(f.device, 4);
  const std::string subsys = "&SUBSYS_" + Hex(f.subDevice, 4) + Hex(f.subVendor, 4);
  const std::string rev = "&REV_" + Hex(f.revision, 2);
  return {base + subsys + rev,
          base + subsys,
          base + rev,
          base,
          "PCI\\CC_" + Hex(f.classCode, 6),
          "PCI\\CC_" + Hex(f.classCode >> 8, 4)};
}

std::string ComparableId(const std::string& infId) {
  const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
  auto first = std::find_if_not(infId.begin(), infId.end(), isSpace);
  auto last = std::find_if_not(infId.rbegin(), std::string::const_reverse_iterator(first), isSpace).base();
  std::string out(first, last);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

PackageMatch BestMatch(const platform::PciFunction& function, const std::vector<PackageRecord>& packages) {
  const std::vector<std::string> ids = RankedIds(function);
  PackageMatch match;
  for (const PackageRecord& package : packages) {
    int best = -1;
    for (const std::string& infId : package.hardwareIds) {
      const std::string id = ComparableId(infId);
      const auto at = std::find(ids.begin(), ids.end(), id);
      if (at == ids.end()) continue;
      const int rank = static_cast<int>(at - ids.begin());
      if (best < 0 || rank < best) best = rank;
    }
    if (best < 0 || (match.Found() && best > match.rank)) continue;
    if (!match.Found() || best < match.rank) {
      match.packages.clear();
      match.rank = best;
      match.id = ids[static_cast<std::size_t>(best)];
    }
    match.packages.push_back(&package);
  }
  return match;
}

}  // namespace drivers
