#pragma once
// Shared by the ISO step tests: a machine with a work folder on D: and an
// ISO folder on E:, the fake tool installed as the ISO tool beside the test
// program (its script in KX_FAKE_TOOL), a window that records the states
// posted, and the trace log's lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "disk/appfolders.h"
#include "disk/tracelog.h"
#include "pipeline/makeisofile.h"
#include "pipeline/opmessages.h"
#include "platform/windows/messagequeuewindow.h"
#include "platform/fs/paths.h"
#include "platform/text.h"
#include "platform/windows/window.h"
#include "testmachine.h"

namespace isotest {

namespace fs = std::filesystem;
using States = std::vector<std::pair<int, platform::LPARAM>>;

struct ShownBox {
  std::wstring text, caption;
  platform::UINT type;
};

class IsoStepTest : public ::testing::Test, public platform::MessageBoxPresenter {
 protected:
  void SetUp() override {
    fs::create_directories(machine.Root('D') / "OvantaToolTmp0");
    fs::create_directories(machine.Root('E') / "Out");
    GetAppDataFolder();  // the trace log's folder
    platform::SetMessageBoxPresenter(this);
    MakeISOFile::Instance().SetBeforeStartHook({});
  }
  void TearDown() override {
    ::unsetenv("KX_FAKE_TOOL");
    platform::SetMessageBoxPresenter(nullptr);
    MakeISOFile::Instance().SetBeforeStartHook({});
  }
  int Show(platform::HWND, const std::wstring& text, const std::wstring& caption, platform::UINT type) override {
    boxes.push_back({text, caption, type});
    return platform::IDOK;
  }

  static void Script(const std::string& script) { ::setenv("KX_FAKE_TOOL", script.c_str(), 1); }

  States Pump() {
    window.PumpPending();
    return states;
  }

  // The trace lines without their time stamps.
  std::vector<std::string> Trace() const {
    std::string host;
    std::vector<std::string> lines;
    if (!platform::ResolvePath(TraceLogPath(), host)) return lines;
    const std::string text = kxtest::ReadHostFile(host);
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find("\r\n", pos);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(pos, end - pos);
      const size_t space = line.find(' ');
      lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
      pos = end + 2;
    }
    return lines;
  }
  bool Traced(const std::string& line) const {
    const auto lines = Trace();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  kxtest::TestMachine machine{{.letter = 'D'}, {.letter = 'E'}};
  std::vector<ShownBox> boxes;
  States states;
  platform::MessageQueueWindow window{[this](platform::UINT m, platform::WPARAM w, platform::LPARAM l) {
    if (m == WM_OPSTATE) states.emplace_back(static_cast<int>(w), l);
    return platform::LRESULT{0};
  }};
};

}  // namespace isotest
