#include "src/disk/ntlink.h"

#include "platform/disks/ntnames.h"

namespace gs {

bool ResolveNtLink(const std::wstring& name, std::wstring* target, std::size_t bufferBytes) {
  return platform::disks::QuerySymbolicLink(name, target, bufferBytes) == platform::disks::kStatusSuccess;
}

}  // namespace gs
