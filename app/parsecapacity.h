#pragma once
// The capacity written into a USB list entry, "F:\ (Capacity:  7600 MB )":
// the number between the first `capacityWord` (the translation of
// "Capacity") and the first "MB )", blanks trimmed. 0 when either is
// missing, when they are in the wrong order or touch, or when what lies
// between is not a whole decimal number.

#include <cstdint>
#include <string>

std::int64_t ParseCapacity(const std::wstring& text, const std::wstring& capacityWord);
// The same with Translate("Capacity").
std::int64_t ParseCapacity(const std::wstring& text);

// The entry text for a USB volume of sizeMB: the root alone for 0, else the
// root, " (", capacityWord, " ", the size, " MB )".
std::wstring UsbEntryText(const std::wstring& root, std::int64_t sizeMB, const std::wstring& capacityWord);
