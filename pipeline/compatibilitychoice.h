#pragma once
// Whether a source forces compatibility mode (install.wim serviced too, in
// either mode), the same for both front ends: an Embedded edition, or a
// driver library that holds a storage package for the source's
// architecture (the installed system must start from a disk that only such
// a driver reaches). The wizard ticks and locks its box for such a source;
// the CLI runs as if --compat were given.

#include <string>

// source: the source drive's root.
bool CompatibilityForced(const std::wstring& source);
