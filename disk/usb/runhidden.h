#pragma once
#include <string>

#include "platform/types.h"

// Runs a command line as a hidden child process without inherited handles,
// in the caller's folder and environment, and waits for it without a time
// limit. True with the exit code (when exitCode is given) once the child has
// ended and its code could be read. A start failure also prints
// "create process fail\n" on the standard output.
[[nodiscard]] bool RunHidden(const std::wstring& commandLine, platform::DWORD* exitCode);
