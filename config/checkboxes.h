#pragma once
// The boxes and texts of the checks made before anything is erased or
// copied: a source that is no Windows 7 medium, a stick too small for it, a
// source FAT32 cannot hold, the rights to format. Texts with a number are
// written around a "%1" (and "%2") in the translation.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/sourcemedium.h"
#include "platform/windows/window.h"

// Translate("Not Windows 7 medium"), then one line per problem: the file and
// its translated fault.
std::wstring SourceMediumText(const std::vector<MediumProblem>& problems);
// That text / Translate("Error"), OK, error icon.
void ShowSourceMediumBox(platform::HWND owner, const std::vector<MediumProblem>& problems);

// Translate("No admin rights") and, on a line of its own, the desktop menu
// action that starts the wizard as administrator (Translate("Admin Desktop
// Action")) / Translate("Warning"), OK, no icon.
std::wstring NoAdminRightsText();
void ShowNoAdminRightsBox(platform::HWND owner);
// Translate("Admin Start Failed") / Translate("Error"), OK, error icon: the
// desktop action could not start the wizard as administrator.
void ShowAdminStartFailedBox(platform::HWND owner);

// A file size limit as the texts show it ("4096 MB").
std::wstring FileLimitText(std::uint64_t limitBytes);
// Translate("File too large for FAT32") with the limit, a line break and the
// file: nothing was changed yet.
std::wstring FileTooLargeForFat32Text(const std::wstring& file, std::uint64_t limitBytes);
// Translate("FAT32 recovery refused") with the limit, a line break and the
// file: the recovery would erase the disk into FAT32 and is not made.
std::wstring Fat32RecoveryRefusedText(const std::wstring& file, std::uint64_t limitBytes);
// Either text / Translate("Error"), OK, error icon.
void ShowFat32RecoveryRefusedBox(platform::HWND owner, const std::wstring& file, std::uint64_t limitBytes);

// Simple message: Translate("ISO folder in work folder").
void ShowIsoFolderClashMessage();

// Translate("Stick too small") with the stick's size and the size needed.
std::wstring StickTooSmallText(std::int64_t haveMb, std::int64_t needMb);

// Translate("Stick sectors") with the stick's sector size: nothing was
// changed. The box shows it as a simple message.
std::wstring StickSectorsText(std::uint32_t sectorBytes);
void ShowStickSectorsMessage(std::uint32_t sectorBytes);

// Translate("Disk In Use") and the reason (which device, what holds it):
// nothing was changed. The box: that text / Translate("Error"), OK, error icon.
std::wstring StickInUseText(const std::wstring& reason);
void ShowStickInUseBox(platform::HWND owner, const std::wstring& reason);

// text with every "%1" replaced by first and "%2" by second.
std::wstring FillIn(std::wstring text, const std::wstring& first, const std::wstring& second = {});
