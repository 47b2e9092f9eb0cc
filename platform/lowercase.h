#pragma once
// One lower-case rule for every comparison that ignores case (INF keys and
// sections, file names in driver packages, drive letters, hashes): the
// same result whatever locale the process runs in (the wizard's toolkit
// sets the user's, the command-line tools keep "C").

#include <string>
#include <string_view>

namespace platform {

// Every letter the Unicode tables give a lower-case form for.
std::wstring LowerCase(std::wstring_view text);
// A-Z only: narrow text here is UTF-8 or the ANSI code page, whose other
// bytes are parts of characters.
std::string LowerCase(std::string_view text);

}  // namespace platform
