#include "disk/mediumutils.h"

#include "platform/fs/ini.h"
#include "platform/text.h"

bool IsEmbeddedEdition(const std::wstring& mediumRoot) {
  std::wstring type;
  platform::GetPrivateProfileString(L"sku", L"Type", L"", type, mediumRoot + L"sources\\product.ini");
  return platform::UpperCase(type) == L"EMBEDDED";
}

bool IsAmd64Build(const std::wstring& buildInfoFile) {
  std::wstring arch;
  platform::GetPrivateProfileString(L"BUILDINFO", L"BuildArch", L"", arch, buildInfoFile);
  return platform::UpperCase(arch) == L"AMD64";
}
