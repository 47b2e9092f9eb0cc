#pragma once
// Whether Windows can hold a file or folder name (one component, UTF-8):
// no control character, none of < > : " | ? * / \, no trailing dot or
// space, not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or
// without an extension). Names from outside (disc images, driver
// downloads) that fail it would be lost or changed on the way to the stick.

#include <string>
#include <string_view>

namespace platform {

bool WindowsCanHoldName(std::string_view name);

// The name with every byte that is no printable character shown as \xNN
// (control characters, bytes that are not UTF-8), for a message.
std::string PrintableName(std::string_view name);

}  // namespace platform
