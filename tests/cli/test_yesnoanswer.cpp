#include "tools/cli/yesnoanswer.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct Case {
  const char* line;
  const wchar_t* yes;
  const wchar_t* no;
  std::optional<bool> want;
};

TEST(YesNoAnswer, TakesTheLanguagesWordsAndYorNAlways) {
  const Case cases[] = {
      {"y", L"y yes", L"n no", true},
      {"  YES \r", L"y yes", L"n no", true},
      {"no", L"y yes", L"n no", false},
      {"", L"y yes", L"n no", std::nullopt},
      {"   ", L"y yes", L"n no", std::nullopt},
      {"maybe", L"y yes", L"n no", std::nullopt},
      {"j", L"j ja", L"n nein", true},    // German
      {"Ja", L"j ja", L"n nein", true},
      {"nein", L"j ja", L"n nein", false},
      {"y", L"j ja", L"n nein", true},    // y/n in every language
      {"jein", L"j ja", L"n nein", std::nullopt},
      {"o", L"o oui", L"n non", true},    // French: o is yes there
      {"s\xc3\xad", L"s s\u00ed si", L"n no", true},  // Spanish "sí"
      {"\xe3\x81\xaf\xe3\x81\x84", L"\u306f\u3044", L"\u3044\u3044\u3048", true},              // はい
      {" \xe3\x81\x84\xe3\x81\x84\xe3\x81\x88", L"\u306f\u3044", L"\u3044\u3044\u3048", false},  // いいえ
      {"n", L"\u306f\u3044", L"\u3044\u3044\u3048", false},
      {"\xe3\x81\xaf", L"\u306f\u3044", L"\u3044\u3044\u3048", std::nullopt},  // half a word
  };
  for (const Case& c : cases) EXPECT_EQ(ParseYesNo(c.line, c.yes, c.no), c.want) << "'" << c.line << "'";
}

}  // namespace
