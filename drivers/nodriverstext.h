#pragma once
// The text both front ends show when the driver library holds no package
// for the source's architecture: what is missing and the command that adds
// a vendor's download.

#include <string>

std::wstring NoDriversText(bool is64);
