#pragma once
// Message boxes answered by the test: every box and simple message is
// recorded and answered from a script (Yes for a question, OK otherwise,
// when the script is empty). Installed for the object's lifetime. Boxes may
// come from the worker thread.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "config/simplemessage.h"
#include "platform/window.h"

namespace wiztest {

struct SeenBox {
  std::wstring text;
  std::wstring caption;
  platform::UINT type = 0;
  platform::HWND owner = nullptr;
  bool simple = false;  // the simple message dialog
};

class ScriptedBoxes final : public platform::MessageBoxPresenter, public SimpleMessagePresenter {
 public:
  ScriptedBoxes() {
    platform::SetMessageBoxPresenter(this);
    SetSimpleMessagePresenter(this);
  }
  ~ScriptedBoxes() override {
    platform::SetMessageBoxPresenter(nullptr);
    SetSimpleMessagePresenter(nullptr);
  }

  void Answer(int answer) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_answers.push_back(answer);
  }
  std::vector<SeenBox> Seen() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_seen;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_seen.clear();
  }

  int Show(platform::HWND owner, const std::wstring& text, const std::wstring& caption,
           platform::UINT type) override {
    std::lock_guard<std::mutex> guard(m_lock);
    m_seen.push_back({text, caption, type, owner, false});
    if (!m_answers.empty()) {
      const int answer = m_answers.front();
      m_answers.pop_front();
      return answer;
    }
    return (type & platform::MB_TYPEMASK) == platform::MB_YESNO ? platform::IDYES : platform::IDOK;
  }
  void ShowMessage(const std::wstring& text, const std::wstring& title) override {
    std::lock_guard<std::mutex> guard(m_lock);
    m_seen.push_back({text, title, platform::MB_OK, nullptr, true});
  }

 private:
  mutable std::mutex m_lock;
  std::deque<int> m_answers;
  std::vector<SeenBox> m_seen;
};

}  // namespace wiztest
