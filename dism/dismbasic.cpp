#include "dism/dismbasic.h"

#include <cwchar>

#include "platform/window.h"

namespace DismCpp {

namespace {

// The report is composed in a buffer of this many wide characters,
// terminator included; longer text is cut.
constexpr size_t kReportChars = 260;

}  // namespace

bool DismBasic::Release(void* object) {
  if (!object) return true;
  return !platform::Failed(platform::DismDelete(object));
}

void DismBasic::ReportError(const wchar_t* call, platform::HRESULT result) {
  errorMessage = nullptr;
  platform::DismGetLastErrorMessage(&errorMessage);
  const wchar_t* text = errorMessage && errorMessage->Value ? errorMessage->Value : L"";
  std::wstring composed = std::wstring(call) + L" failed 0x";
  wchar_t hex[16];
  std::swprintf(hex, 16, L"%x", static_cast<unsigned>(result));
  composed += hex;
  composed += L" : ";
  composed += text;
  composed += L"  ";
  if (composed.size() > kReportChars - 1) composed.resize(kReportChars - 1);
  Release(errorMessage);
  errorMessage = nullptr;
  platform::MessageBox(nullptr, composed, L"DismCpp", platform::MB_OK);
}

}  // namespace DismCpp
