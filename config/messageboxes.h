#pragma once
// The catalogue of every message box of the program: one function per
// situation, with its fixed text, caption, buttons, icon and owner. Texts
// given as translation keys are translated when the box is shown.
//
// Every box is modal and blocks the calling thread until it is answered;
// the boxes of the pipeline (USB preparation, DISM, ISO precheck) are shown
// from the worker thread. A question is "yes" only for IDYES (for the finish
// question only IDNO counts as "start again"); a box that cannot be shown
// answers 0, which reads as "no".

#include <cstdint>
#include <string>

#include "platform/windows/window.h"

// USB preparation (worker thread).
// "This is not a USB disk/flash." / "Error", OK, error icon, no owner.
void ShowNotUsbDiskBox();
// Translate("Format failure") / Translate("Warning"), Yes/No, warning icon.
bool AskFormatFailure(platform::HWND owner);
// Translate("Format confirm") / Translate("Warning"), Yes/No, warning icon.
bool AskFormatConfirm(platform::HWND owner);
// Translate("Still failed") / Translate("Error"), OK, error icon.
void ShowStillFailedBox(platform::HWND owner);
// "Get USB disk/flash letter error!" / Translate("Error"), OK, error, no owner.
void ShowUsbLetterErrorBox();
// Translate("File too large for FAT32") with the first size FAT32 cannot
// hold on this machine, a line break and the file / Translate("Error"), OK,
// error icon: the source cannot go onto FAT32 (see checkboxes.h).
void ShowFileTooLargeForFat32Box(platform::HWND owner, const std::wstring& file, std::uint64_t limitBytes);

// Main window (user-interface thread).
// The longest text the format warning shows, in characters.
inline constexpr std::size_t kFormatWarningMaxChars = 511;
// Translate("Format warning1"), a blank, the disk's list entry, a blank,
// Translate("Format warning2") (shown as is, cut to 511 characters), then
// on a line of its own the disk's identity (DiskIdentityLine: model, size,
// device or image file; no line when empty) / Translate("Warning"), Yes/No
// with No as the default button (Enter must not erase a disk), no icon.
// True only for Yes.
bool AskFormatWarning(platform::HWND owner, const std::wstring& diskDescription, const std::wstring& diskIdentity);
std::wstring FormatWarningText(const std::wstring& diskDescription);
// Translate("Space warning1"), a blank, neededMb, " MB", Translate("Space
// warning1") / Translate("Warning"), OK, no icon.
void ShowSpaceWarningBox(platform::HWND owner, int neededMb);
std::wstring SpaceWarningText(int neededMb);
// Translate("SuccessMsg") or, after a cancel, Translate("CancelMsg") /
// Translate("Finish"), Yes/No, no icon. True ("start again") only for No;
// any other answer means the program ends.
bool AskFinishStartAgain(platform::HWND owner, bool cancelled);
// Simple message dialogs captioned with the application title.
void ShowDiskTooSmallMessage();  // Translate("Disk too small")
void ShowNotNtfsMessage();       // Translate("Not NTFS")

// String library: "OvGetLangName error" / "OvMultiLangDll", OK, warning, no owner.
void ShowLangNameErrorBox();

// DISM wrapper (worker thread). The longest text, terminator included.
inline constexpr std::size_t kDismTextMaxUnits = 260;
// "%s failed 0x%x : %s  " with the call name, the result code in lower-case
// hexadecimal and DISM's error text, cut to 259 characters / "DismCpp",
// OK, no icon, no owner.
void ShowDismFailureBox(const std::wstring& callName, std::int32_t result, const std::wstring& dismText);
std::wstring DismFailureText(const std::wstring& callName, std::int32_t result, const std::wstring& dismText);
// No new mount folder could be made in the data folder after the retries:
// "MakeMountFolder failed : no new mount folder can be made in <folder>  " /
// "DismCpp", OK, no icon, no owner.
void ShowMountFolderFailureBox(const std::wstring& dataFolder);

// ISO generation (worker thread).
// "The ISO directory does not exist." / "make ISO error", OK, no icon, no owner.
void ShowIsoFolderMissingBox();
