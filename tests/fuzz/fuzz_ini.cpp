// INI files of a medium (sources\product.ini, idwbinfo.txt): decoding by
// byte-order mark and parsing, with every lookup the program makes.
#include "kxfuzz.h"
#include "platform/fs/ini.h"

KX_FUZZ_TARGET {
  const platform::IniDocument doc = platform::IniDocument::Parse(kxfuzz::Bytes(data, size));
  for (const auto& section : doc.Sections()) {
    KX_FUZZ_CHECK(section.line > 0);
    for (const auto& e : section.entries) KX_FUZZ_CHECK(e.line >= section.line);
  }
  (void)doc.Value(L"BUILDINFO", L"BuildArch");
  (void)doc.Value(L"SKU", L"Type");
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back("; product\r\n[SKU]\r\nType=Ultimate\r\n[BUILDINFO]\r\nBuildArch = amd64\r\nQuoted=\"a b\"\r\n");
  std::string utf16("\xFF\xFE", 2);
  for (char c : std::string("[BUILDINFO]\r\nBuildArch=x86\r\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  seeds.push_back(utf16);
  seeds.push_back("\xEF\xBB\xBF[s]\nk=caf\xC3\xA9\n[t]\nk=caf\xE9\n");
}
