#pragma once
// The system's well-known folders, as system paths.

#include <string>

namespace platform {

// "C:\Windows\System32"; empty when the system drive is not mapped.
std::wstring GetSystemDirectory();
// The common application-data folder, "C:\ProgramData" (not created here).
std::wstring GetCommonAppDataFolder();
// The running program file, e.g. "Z:\opt\kestrunex\kestrunex".
std::wstring GetModuleFileName();
// The program file's folder with a trailing backslash.
std::wstring GetProgramFolder();
// The same folder as a host path, without asking the machine (for a front
// end before its machine is made); empty when it cannot be told.
std::string HostProgramFolder();

}  // namespace platform
