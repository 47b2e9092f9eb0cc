#include "tools/cli/terminalboxes.h"

#include "config/ovmultilangdll.h"
#include "tools/cli/yesnoanswer.h"

TerminalBoxes::TerminalBoxes(Console& console, int answer) : console_(console), answer_(answer) {
  platform::SetMessageBoxPresenter(this);
}

TerminalBoxes::~TerminalBoxes() { platform::SetMessageBoxPresenter(nullptr); }

bool TerminalBoxes::Decide(bool& yes, bool noByDefault) {
  if (answer_ != 0) {
    yes = answer_ == platform::IDYES;
    console_.Say(Translate(L"Cli Answered") + L" " + Translate(yes ? L"Cli Yes" : L"Cli No"));
    return true;
  }
  if (!console_.InputIsTerminal()) {
    yes = false;
    console_.Say(Translate(L"Cli No Terminal") + L" " + Translate(L"Cli No"));
    return true;
  }
  for (;;) {
    std::string line;
    // The prompt shows the default when Enter alone has one: [y/N].
    if (!console_.Ask(Translate(noByDefault ? L"Cli Answer Default No" : L"Cli Answer"), line)) {
      yes = false;
      return true;
    }
    if (line.find_first_not_of(" \t\r") == std::string::npos && noByDefault) {
      yes = false;  // Enter alone takes the default button, No
      return true;
    }
    if (const auto answer = ParseYesNo(line, Translate(L"Cli Yes Answers"), Translate(L"Cli No Answers"))) {
      yes = *answer;
      return true;
    }
  }
}

int TerminalBoxes::Show(platform::HWND, const std::wstring& text, const std::wstring& caption, platform::UINT type) {
  console_.Say(L"[" + caption + L"] " + text);
  const platform::UINT buttons = type & platform::MB_TYPEMASK;
  if (buttons == platform::MB_OK) return platform::IDOK;
  bool yes = false;
  Decide(yes, (type & platform::MB_DEFMASK) == platform::MB_DEFBUTTON2);
  if (buttons == platform::MB_OKCANCEL) return yes ? platform::IDOK : platform::IDCANCEL;
  return yes ? platform::IDYES : platform::IDNO;
}
