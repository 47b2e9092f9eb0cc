#pragma once
// An answer typed at the terminal to a yes/no question. y/yes and n/no are
// understood in every language (so are answers starting with y or n, as
// before); beside them the language's own words: the blank-separated lists
// of the keys "Cli Yes Answers" and "Cli No Answers" (German "j ja" /
// "n nein", Japanese はい / いいえ). Letters are compared without case,
// blanks around the answer are ignored.

#include <optional>
#include <string>

// True for yes, false for no, nothing for an answer that is neither (the
// question is asked again). line is UTF-8.
std::optional<bool> ParseYesNo(const std::string& line, const std::wstring& yesWords, const std::wstring& noWords);
