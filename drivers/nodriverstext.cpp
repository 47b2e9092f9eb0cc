#include "drivers/nodriverstext.h"

#include "config/ovmultilangdll.h"

namespace {
constexpr const wchar_t* kAddCommand = L"sudo kestrunex-cli drivers add FILE";
}

std::wstring NoDriversText(bool is64) {
  return Translate(L"No Drivers") + L" " + (is64 ? L"amd64 (x64)" : L"x86") + L"\n\n" + Translate(L"No Drivers Add") +
         L"\n  " + kAddCommand;
}
