#pragma once
// The NT symbolic-link lookup the drive model uses to tie partitions to
// drive letters.

#include <cstddef>
#include <string>

namespace gs {

// Resolves an NT object name ("\Device\Harddisk1\Partition2") to its target
// ("\Device\HarddiskVolume..."); the target must fit bufferBytes (UTF-16
// bytes with the terminator). False for any non-zero status.
bool ResolveNtLink(const std::wstring& name, std::wstring* target, std::size_t bufferBytes);

}  // namespace gs
