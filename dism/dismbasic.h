#pragma once
// The base of the image servicing classes: gives structures back to the
// servicing interface and shows its failures to the user.

#include <string>

#include "platform/dism/dismapi.h"

namespace DismCpp {

class DismBasic {
 public:
  DismBasic() = default;
  virtual ~DismBasic() = default;
  DismBasic(const DismBasic&) = delete;
  DismBasic& operator=(const DismBasic&) = delete;

  // Gives one structure the interface allocated back to it. Null is
  // accepted without a call; false only when the interface refuses.
  [[nodiscard]] virtual bool Release(void* object);

 protected:
  // Shows "<call> failed 0x<code> : <text>  " (at most 259 characters) in a
  // "DismCpp" box with an OK button and waits until it is closed. The text
  // is the interface's message for the failure, empty when it has none.
  void ReportError(const wchar_t* call, platform::HRESULT result);

  platform::DismString* errorMessage = nullptr;
};

}  // namespace DismCpp
