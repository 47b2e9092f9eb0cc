// Answers typed at the terminal: any bytes (broken UTF-8, NULs, control
// characters) against the word lists of every language.
#include "kxfuzz.h"
#include "tools/cli/yesnoanswer.h"

KX_FUZZ_TARGET {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const wchar_t* lists[][2] = {{L"y yes", L"n no"},
                               {L"j ja", L"n nein"},
                               {L"o oui", L"n non"},
                               {L"s s\u00ed si", L"n no"},
                               {L"\u306f\u3044", L"\u3044\u3044\u3048"}};
  for (const auto& words : lists) {
    const auto answer = ParseYesNo(line, words[0], words[1]);
    KX_FUZZ_CHECK(answer == ParseYesNo(line, words[0], words[1]));
  }
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back("y");
  seeds.push_back("  Nein \r");
  seeds.push_back("\xe3\x81\xaf\xe3\x81\x84");
  seeds.push_back("s\xc3\xad");
}
