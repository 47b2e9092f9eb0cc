#pragma once
// The program's per-machine data folder and the job's work folder.

#include <string>

// The common application-data folder followed by "Ovanta\Kestrunex\", every
// missing level created; 8-bit (ANSI code page) text ending in a backslash.
// Empty when the system cannot supply the common folder.
std::string GetAppDataFolder();

// Chooses and creates the job's work folder: "OvantaToolTmp\" in the data
// folder when the system drive has more than requiredMB free (twice that when
// the reference path is on the system drive too; a stale folder of that name
// is deleted first), else "X:\OvantaToolTmpN\" on the first fixed or
// removable drive with room, N the first free counter. Empty when no drive
// has room. The result ends in a backslash.
std::wstring GetWorkFolder(int requiredMB, const std::wstring& referencePath);
