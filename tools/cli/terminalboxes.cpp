#include "tools/cli/terminalboxes.h"

#include <cctype>

#include "config/ovmultilangdll.h"

TerminalBoxes::TerminalBoxes(Console& console, int answer) : console_(console), answer_(answer) {
  platform::SetMessageBoxPresenter(this);
}

TerminalBoxes::~TerminalBoxes() { platform::SetMessageBoxPresenter(nullptr); }

bool TerminalBoxes::Decide(bool& yes) {
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
    if (!console_.Ask(Translate(L"Cli Answer"), line)) {
      yes = false;
      return true;
    }
    size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const char c = i < line.size() ? static_cast<char>(std::tolower(static_cast<unsigned char>(line[i]))) : 0;
    if (c == 'y' || c == 'n') {
      yes = c == 'y';
      return true;
    }
  }
}

int TerminalBoxes::Show(platform::HWND, const std::wstring& text, const std::wstring& caption, platform::UINT type) {
  console_.Say(L"[" + caption + L"] " + text);
  const platform::UINT buttons = type & platform::MB_TYPEMASK;
  if (buttons == platform::MB_OK) return platform::IDOK;
  bool yes = false;
  Decide(yes);
  if (buttons == platform::MB_OKCANCEL) return yes ? platform::IDOK : platform::IDCANCEL;
  return yes ? platform::IDYES : platform::IDNO;
}
