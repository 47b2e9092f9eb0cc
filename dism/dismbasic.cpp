#include "dism/dismbasic.h"

#include <cstdint>
#include <string>

#include "config/messageboxes.h"

namespace DismCpp {

bool DismBasic::Release(void* object) {
  if (!object) return true;
  return !platform::Failed(platform::DismDelete(object));
}

void DismBasic::ReportError(const wchar_t* call, platform::HRESULT result) {
  errorMessage = nullptr;
  // Without the servicing layer's text the box shows the call and its number.
  static_cast<void>(platform::DismGetLastErrorMessage(&errorMessage));
  const std::wstring text = errorMessage && errorMessage->Value ? errorMessage->Value : L"";
  // A block the servicing layer cannot take back is lost memory, not a
  // second failure to report.
  static_cast<void>(Release(errorMessage));
  errorMessage = nullptr;
  ShowDismFailureBox(call, static_cast<std::int32_t>(result), text);
}

}  // namespace DismCpp
