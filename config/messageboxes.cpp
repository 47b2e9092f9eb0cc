#include "config/messageboxes.h"

#include <cwchar>

#include "config/checkboxes.h"
#include "config/ovmultilangdll.h"
#include "config/simplemessage.h"

using platform::MB_ICONERROR;
using platform::MB_ICONWARNING;
using platform::MB_OK;
using platform::MB_YESNO;

namespace {
constexpr platform::HWND kNoOwner = nullptr;

bool IsYes(int answer) { return answer == platform::IDYES; }
}  // namespace

void ShowNotUsbDiskBox() {
  platform::MessageBox(kNoOwner, L"This is not a USB disk/flash.", L"Error", MB_OK | MB_ICONERROR);
}

bool AskFormatFailure(platform::HWND owner) {
  return IsYes(platform::MessageBox(owner, Translate(L"Format failure"), Translate(L"Warning"),
                                    MB_YESNO | MB_ICONWARNING));
}

bool AskFormatConfirm(platform::HWND owner) {
  return IsYes(platform::MessageBox(owner, Translate(L"Format confirm"), Translate(L"Warning"),
                                    MB_YESNO | MB_ICONWARNING));
}

void ShowStillFailedBox(platform::HWND owner) {
  platform::MessageBox(owner, Translate(L"Still failed"), Translate(L"Error"), MB_OK | MB_ICONERROR);
}

void ShowUsbLetterErrorBox() {
  platform::MessageBox(kNoOwner, L"Get USB disk/flash letter error!", Translate(L"Error"), MB_OK | MB_ICONERROR);
}

void ShowFileTooLargeForFat32Box(platform::HWND owner, const std::wstring& file, std::uint64_t limitBytes) {
  platform::MessageBox(owner, FileTooLargeForFat32Text(file, limitBytes), Translate(L"Error"), MB_OK | MB_ICONERROR);
}

std::wstring FormatWarningText(const std::wstring& diskDescription) {
  std::wstring text =
      Translate(L"Format warning1") + L" " + diskDescription + L" " + Translate(L"Format warning2");
  if (text.size() > kFormatWarningMaxChars) text.resize(kFormatWarningMaxChars);
  return text;
}

bool AskFormatWarning(platform::HWND owner, const std::wstring& diskDescription, const std::wstring& diskIdentity) {
  std::wstring text = FormatWarningText(diskDescription);
  if (!diskIdentity.empty()) text += L"\n" + diskIdentity;
  return IsYes(platform::MessageBox(owner, text, Translate(L"Warning"), MB_YESNO | platform::MB_DEFBUTTON2));
}

std::wstring SpaceWarningText(int neededMb) {
  // The same key twice: the library's text is written around the number.
  const std::wstring warning = Translate(L"Space warning1");
  return warning + L" " + std::to_wstring(neededMb) + L" MB" + warning;
}

void ShowSpaceWarningBox(platform::HWND owner, int neededMb) {
  platform::MessageBox(owner, SpaceWarningText(neededMb), Translate(L"Warning"), MB_OK);
}

bool AskFinishStartAgain(platform::HWND owner, bool cancelled) {
  const std::wstring text = Translate(cancelled ? L"CancelMsg" : L"SuccessMsg");
  return platform::MessageBox(owner, text, Translate(L"Finish"), MB_YESNO) == platform::IDNO;
}

void ShowDiskTooSmallMessage() { ShowSimpleMessage(Translate(L"Disk too small")); }
void ShowNotNtfsMessage() { ShowSimpleMessage(Translate(L"Not NTFS")); }

void ShowLangNameErrorBox() {
  platform::MessageBox(kNoOwner, L"OvGetLangName error", L"OvMultiLangDll", MB_OK | MB_ICONWARNING);
}

std::wstring DismFailureText(const std::wstring& callName, std::int32_t result, const std::wstring& dismText) {
  wchar_t hex[16];
  std::swprintf(hex, 16, L"%x", static_cast<unsigned>(result));
  std::wstring text = callName + L" failed 0x" + hex + L" : " + dismText + L"  ";
  if (text.size() > kDismTextMaxUnits - 1) text.resize(kDismTextMaxUnits - 1);
  return text;
}

void ShowDismFailureBox(const std::wstring& callName, std::int32_t result, const std::wstring& dismText) {
  platform::MessageBox(kNoOwner, DismFailureText(callName, result, dismText), L"DismCpp", MB_OK);
}

void ShowMountFolderFailureBox(const std::wstring& dataFolder) {
  platform::MessageBox(kNoOwner, L"MakeMountFolder failed : no new mount folder can be made in " + dataFolder + L"  ",
                       L"DismCpp", MB_OK);
}

void ShowIsoFolderMissingBox() {
  platform::MessageBox(kNoOwner, L"The ISO directory does not exist.", L"make ISO error", MB_OK);
}
