#pragma once
// The translated texts of driver signature findings and of a package's
// signature state, for `drivers add`, `drivers list` and the run's warning.

#include <string>

#include "drivers/packagerecord.h"
#include "drivers/packagesignature.h"

// "amd64: IUSB3XHC.SYS does not match its catalog."
std::wstring FindingText(const drivers::Finding& finding);
// A record's finding line translated (the line itself when it is not one).
std::wstring FindingLineText(const std::string& line);
// "signed for Windows by CN=...", "NOT signed for Windows (added with --unsigned)", ...
std::wstring SignatureStateText(const drivers::PackageRecord& record);
