#pragma once
// Message boxes on the terminal: the presenter kestrunex-cli installs in
// place of the windows'. A box is printed with its caption; a question
// (Yes/No, OK/Cancel) is answered by the --yes/--no choice when one was
// given, else asked at the terminal, else (no terminal to ask) answered
// "no", which every caller reads as the safe choice. Called on the worker
// thread, which waits for the answer.

#include "platform/windows/window.h"
#include "tools/cli/console.h"

class TerminalBoxes final : public platform::MessageBoxPresenter {
 public:
  // answer: 0 (ask), platform::IDYES or platform::IDNO.
  TerminalBoxes(Console& console, int answer);
  ~TerminalBoxes() override;
  TerminalBoxes(const TerminalBoxes&) = delete;
  TerminalBoxes& operator=(const TerminalBoxes&) = delete;

  int Show(platform::HWND owner, const std::wstring& text, const std::wstring& caption, platform::UINT type) override;

 private:
  // noByDefault: an empty answer is No (the box's default button).
  bool Decide(bool& yes, bool noByDefault);

  Console& console_;
  int answer_;
};
