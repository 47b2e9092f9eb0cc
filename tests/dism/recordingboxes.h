#pragma once
// A message-box presenter that records every box and answers OK.

#include <string>
#include <vector>

#include "platform/windows/window.h"

namespace kxdism {

struct ShownBox {
  std::wstring text;
  std::wstring caption;
  platform::UINT type = 0;
};

class RecordingBoxes final : public platform::MessageBoxPresenter {
 public:
  RecordingBoxes() { platform::SetMessageBoxPresenter(this); }
  ~RecordingBoxes() override { platform::SetMessageBoxPresenter(nullptr); }
  int Show(platform::HWND, const std::wstring& text, const std::wstring& caption, platform::UINT type) override {
    shown.push_back({text, caption, type});
    return platform::IDOK;
  }
  std::vector<ShownBox> shown;
};

}  // namespace kxdism
