#pragma once
// Whether Windows 7 of an architecture would load a package of the library,
// from what its record proves. 64-bit Windows 7 loads only kernel code
// whose catalog is signed with SHA-1 under a root it accepts (WHQL, or a
// listed cross-certificate to its kernel root) and matches every file; a
// package added with --unsigned, one signed with SHA-256 only, or one whose
// signature was never checked does not count. 32-bit Windows 7 loads
// unsigned drivers (it asks first after Setup), so any package serving x86
// counts there.

#include <string>

#include "drivers/packagerecord.h"

namespace drivers {

bool Windows7WouldLoad(const PackageRecord& record, const std::string& arch);

}  // namespace drivers
