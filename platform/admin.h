#pragma once
// Whether the process has the rights the USB mode needs (raw disks,
// formatting, loop devices, mounts): the system's administrator, root here.
// And what an administrator's process keeps of the environment its caller
// gave it.

#include <string>
#include <vector>

namespace platform {

bool IsUserAnAdmin();

// The environment an administrator's wizard runs with, from its caller's
// ("NAME=value" entries): the display (DISPLAY, XAUTHORITY), the language
// (LANG, LANGUAGE, LC_*: plain locale names, never a path), the machine's
// prefix (KESTRUNEX_PREFIX) and who asked for it (SUDO_UID, SUDO_GID,
// SUDO_USER, PKEXEC_UID); then a fixed PATH of the system's folders and
// home as HOME. Everything else the caller set (QT_*, QML*, plugin, library
// and XDG folders, its HOME) is left out: none of it may choose code or
// files for the administrator's process, under pkexec or sudo alike.
std::vector<std::string> AdministratorEnvironment(const std::vector<std::string>& caller, const std::string& home);

// This process's environment as entries, and its replacement by others.
// Replace only before any other thread runs: the environment is shared.
std::vector<std::string> CurrentEnvironment();
void ReplaceEnvironment(const std::vector<std::string>& entries);

// The administrator's home folder from the password database (never $HOME);
// "/" when it has none.
std::string AdministratorHome();

}  // namespace platform
