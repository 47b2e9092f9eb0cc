#pragma once
// The USB entry the format question names, followed by where the desktop
// has the disk's volumes mounted now: those are unmounted before the disk
// is changed, so the user sees them before agreeing.

#include <string>

// entry: the list entry of the stick ("F:\ (Capacity 7400 MB )"); root: its
// drive root ("F:\"). The entry unchanged when nothing else is mounted.
std::wstring FormatEntryWithMounts(const std::wstring& entry, const std::wstring& root);
