#include <gtest/gtest.h>

#include "platform/fs/ini.h"
#include "testmachine.h"

using namespace platform;

TEST(IniFiles, SectionsAndKeysIgnoreCaseAndValuesAreTrimmed) {
  IniDocument doc = IniDocument::Parse("; build\n[BUILDINFO]\n  BuildArch =  amd64  \nQuoted=\"a b\"\n");
  EXPECT_EQ(doc.Value(L"buildinfo", L"buildarch").value_or(L"?"), L"amd64");
  EXPECT_EQ(doc.Value(L"BuildInfo", L"quoted").value_or(L"?"), L"a b");
  EXPECT_FALSE(doc.Value(L"sku", L"Type"));
  EXPECT_TRUE(doc.MalformedLines().empty());
}

TEST(IniFiles, Utf16WithByteOrderMarkAndLatin1AreDecoded) {
  std::string utf16le("\xFF\xFE", 2);
  for (char c : std::string("[sku]\r\nType=Embedded\r\n")) {
    utf16le += c;
    utf16le += '\0';
  }
  EXPECT_EQ(IniDocument::Parse(utf16le).Value(L"SKU", L"type").value_or(L"?"), L"Embedded");
  EXPECT_EQ(IniDocument::Parse("[s]\nk=caf\xE9\n").Value(L"s", L"k").value_or(L"?"), L"caf\u00e9");
  EXPECT_EQ(IniDocument::Parse("\xEF\xBB\xBF[s]\nk=caf\xC3\xA9\n").Value(L"s", L"k").value_or(L"?"), L"caf\u00e9");
}

TEST(IniFiles, ProfileStringReadsThroughSystemPathsWithDefaults) {
  kxtest::TestMachine m({{.letter = 'E', .type = "cdrom"}});
  m.WriteFile('E', "sources/idwbinfo.txt", "[BUILDINFO]\nBuildArch=x86\n");
  std::wstring v;
  GetPrivateProfileString(L"BUILDINFO", L"BuildArch", L"", v, L"E:\\Sources\\IDWBINFO.TXT");
  EXPECT_EQ(v, L"x86");
  GetPrivateProfileString(L"BUILDINFO", L"Missing", L"dflt", v, L"E:\\sources\\idwbinfo.txt");
  EXPECT_EQ(v, L"dflt");
  GetPrivateProfileString(L"BUILDINFO", L"BuildArch", L"", v, L"Q:\\nowhere.ini");
  EXPECT_EQ(v, L"");
}
