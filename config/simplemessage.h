#pragma once
// The simple message dialog: a text and an OK button, captioned with the
// application title. The user interface installs a presenter; without one
// the text goes to platform::MessageBox with the title as caption.
// Blocks until closed; the presenter decides the thread rules (the Qt one
// accepts any thread).

#include <string>

inline constexpr wchar_t kApplicationTitle[] = L"Kestrunex";

class SimpleMessagePresenter {
 public:
  virtual ~SimpleMessagePresenter() = default;
  virtual void ShowMessage(const std::wstring& text, const std::wstring& title) = 0;
};

// Installs the presenter (null: none). Not owned.
void SetSimpleMessagePresenter(SimpleMessagePresenter* presenter);
void ShowSimpleMessage(const std::wstring& text);
