#include "config/checkboxes.h"

#include "config/ovmultilangdll.h"
#include "config/simplemessage.h"

namespace {

constexpr std::uint64_t kBytesPerMb = 1048576;

std::wstring FaultText(const MediumProblem& problem) {
  switch (problem.fault) {
    case MediumFault::kMissing: return Translate(L"Medium file missing");
    case MediumFault::kNotAFile: return Translate(L"Medium file unreadable");
    case MediumFault::kNotAWim: return Translate(L"Medium file not WIM");
    case MediumFault::kInstallEsd: return Translate(L"Medium install esd");
    case MediumFault::kNotWindows7: return FillIn(Translate(L"Medium other Windows"), problem.detail);
  }
  return {};
}

void ReplaceAll(std::wstring& text, const std::wstring& token, const std::wstring& value) {
  for (std::size_t at = text.find(token); at != std::wstring::npos; at = text.find(token, at + value.size()))
    text.replace(at, token.size(), value);
}

}  // namespace

std::wstring FillIn(std::wstring text, const std::wstring& first, const std::wstring& second) {
  ReplaceAll(text, L"%1", first);
  ReplaceAll(text, L"%2", second);
  return text;
}

std::wstring SourceMediumText(const std::vector<MediumProblem>& problems) {
  std::wstring text = Translate(L"Not Windows 7 medium");
  for (const MediumProblem& p : problems) text += L"\n" + p.file + L": " + FaultText(p);
  return text;
}

void ShowSourceMediumBox(platform::HWND owner, const std::vector<MediumProblem>& problems) {
  platform::MessageBox(owner, SourceMediumText(problems), Translate(L"Error"),
                       platform::MB_OK | platform::MB_ICONERROR);
}

std::wstring NoAdminRightsText() { return Translate(L"No admin rights") + L"\n" + Translate(L"Admin Desktop Action"); }

void ShowNoAdminRightsBox(platform::HWND owner) {
  platform::MessageBox(owner, NoAdminRightsText(), Translate(L"Warning"), platform::MB_OK);
}

void ShowAdminStartFailedBox(platform::HWND owner) {
  platform::MessageBox(owner, Translate(L"Admin Start Failed"), Translate(L"Error"),
                       platform::MB_OK | platform::MB_ICONERROR);
}

std::wstring FileLimitText(std::uint64_t limitBytes) { return std::to_wstring(limitBytes / kBytesPerMb) + L" MB"; }

std::wstring FileTooLargeForFat32Text(const std::wstring& file, std::uint64_t limitBytes) {
  return FillIn(Translate(L"File too large for FAT32"), FileLimitText(limitBytes)) + L"\n" + file;
}

std::wstring Fat32RecoveryRefusedText(const std::wstring& file, std::uint64_t limitBytes) {
  return FillIn(Translate(L"FAT32 recovery refused"), FileLimitText(limitBytes)) + L"\n" + file;
}

void ShowFat32RecoveryRefusedBox(platform::HWND owner, const std::wstring& file, std::uint64_t limitBytes) {
  platform::MessageBox(owner, Fat32RecoveryRefusedText(file, limitBytes), Translate(L"Error"),
                       platform::MB_OK | platform::MB_ICONERROR);
}

std::wstring StickTooSmallText(std::int64_t haveMb, std::int64_t needMb) {
  return FillIn(Translate(L"Stick too small"), std::to_wstring(haveMb), std::to_wstring(needMb));
}

std::wstring StickSectorsText(std::uint32_t sectorBytes) {
  return FillIn(Translate(L"Stick sectors"), std::to_wstring(sectorBytes));
}

void ShowStickSectorsMessage(std::uint32_t sectorBytes) { ShowSimpleMessage(StickSectorsText(sectorBytes)); }

void ShowIsoFolderClashMessage() { ShowSimpleMessage(Translate(L"ISO folder in work folder")); }

std::wstring StickInUseText(const std::wstring& reason) { return Translate(L"Disk In Use") + L" " + reason; }

void ShowStickInUseBox(platform::HWND owner, const std::wstring& reason) {
  platform::MessageBox(owner, StickInUseText(reason), Translate(L"Error"), platform::MB_OK | platform::MB_ICONERROR);
}
