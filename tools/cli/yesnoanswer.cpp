#include "tools/cli/yesnoanswer.h"

#include <cwctype>
#include <sstream>

#include "platform/text.h"

namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

bool IsOneOf(const std::wstring& answer, const std::wstring& words) {
  std::wistringstream list(Lower(words));
  for (std::wstring word; list >> word;)
    if (word == answer) return true;
  return false;
}

}  // namespace

std::optional<bool> ParseYesNo(const std::string& line, const std::wstring& yesWords, const std::wstring& noWords) {
  const std::wstring wide = platform::WideFromAnsi(line);
  const auto first = wide.find_first_not_of(L" \t\r");
  if (first == std::wstring::npos) return std::nullopt;
  const std::wstring answer = Lower(wide.substr(first, wide.find_last_not_of(L" \t\r") - first + 1));
  // The language's own words first: in French "o" is yes, and no list
  // claims y or n for the other answer.
  if (IsOneOf(answer, yesWords)) return true;
  if (IsOneOf(answer, noWords)) return false;
  if (answer[0] == L'y') return true;
  if (answer[0] == L'n') return false;
  return std::nullopt;
}
