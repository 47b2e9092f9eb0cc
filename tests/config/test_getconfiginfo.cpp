#include "config/cgetconfiginfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/text.h"
#include "testmachine.h"

namespace {

constexpr char kDecl[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr wchar_t kPath[] = L"C:\\prog\\config.xml";

std::string Profile(const std::string& key, const std::string& title, const std::string& extra = "") {
  return "<type key=\"" + key + "\"><ui><title>" + title + "</title>" + extra + "</ui></type>";
}

class GetConfigInfoTest : public ::testing::Test {
 protected:
  void TearDown() override { CGetConfigInfo::FreeInstance(); }
  void Write(const std::string& body) { machine.WriteFile('C', "prog/config.xml", std::string(kDecl) + body); }
  void WriteRaw(const std::string& content) { machine.WriteFile('C', "prog/config.xml", content); }

  // One reading, the way every consumer does it.
  std::wstring Title() {
    ScopedConfigReading config(kPath);
    return config->GetTitle();
  }
  bool ShowEula() {
    ScopedConfigReading config(kPath);
    return config->IsShowEula();
  }
  void ExpectDefaults() {
    ScopedConfigReading config(kPath);
    EXPECT_FALSE(config.opened());
    EXPECT_EQ(config->GetTitle(), L"");
    EXPECT_EQ(config->GetLogoPath(), L"");
    EXPECT_TRUE(config->IsShowEula());
    EXPECT_EQ(config->GetEulaPath("english"), L"");
    EXPECT_EQ(config->CurrentType(), 0);
  }

  kxtest::TestMachine machine;
};

TEST_F(GetConfigInfoTest, ReadsEveryValueOfTheActiveProfile) {
  Write("<config><currenttype>1</currenttype>" + Profile("0", "First") +
        "<type key=\"1\"><ui><title>Second</title><logopath>C:\\art\\logo.png</logopath>"
        "<isshoweula>0</isshoweula></ui><eula><english>en.txt</english><french>fr.txt</french></eula></type>"
        "</config>");
  ScopedConfigReading config(kPath);
  ASSERT_TRUE(config.opened());
  EXPECT_EQ(config->CurrentType(), 1);
  EXPECT_EQ(config->Path(), kPath);
  EXPECT_EQ(config->GetTitle(), L"Second");
  EXPECT_EQ(config->GetLogoPath(), L"C:\\art\\logo.png");
  EXPECT_FALSE(config->IsShowEula());
  EXPECT_EQ(config->GetEulaPath("French"), L"fr.txt");
  EXPECT_EQ(config->GetEulaPath("english"), L"en.txt");
  EXPECT_EQ(config->GetEulaPath("german"), L"");
}

TEST_F(GetConfigInfoTest, CurrentTypeIsParsedThenMatchedAsPlainDecimal) {
  Write("<r><currenttype>010</currenttype>" + Profile("10", "ten") + Profile("010", "zero-ten") +
        Profile("8", "eight") + "</r>");
  EXPECT_EQ(Title(), L"eight");
  Write("<r><currenttype>0x2</currenttype>" + Profile("0x2", "hex") + Profile("2", "two") + "</r>");
  EXPECT_EQ(Title(), L"two");
}

TEST_F(GetConfigInfoTest, KeysWithLeadingZerosOrWithoutKeyNeverMatch) {
  Write("<r><currenttype>1</currenttype><type><ui><title>nokey</title></ui></type>" + Profile("01", "one") +
        "</r>");
  EXPECT_EQ(Title(), L"");
  Write("<r><type><ui><title>nokey</title></ui></type>" + Profile("00", "zero") + "</r>");
  EXPECT_EQ(Title(), L"");
}

TEST_F(GetConfigInfoTest, FirstMatchingProfileAndFirstGroupWin) {
  Write("<r><currenttype>0</currenttype><type key=\"0\"><ui><title>a</title></ui><ui><title>b</title></ui></type>" +
        Profile("0", "c") + "</r>");
  EXPECT_EQ(Title(), L"a");
}

TEST_F(GetConfigInfoTest, UpperCaseElementNamesAreNotFound) {
  Write("<r><currenttype>0</currenttype><TYPE key=\"0\"><ui><title>x</title></ui></TYPE></r>");
  EXPECT_EQ(Title(), L"");
  Write("<r><type key=\"0\"><ui><Title>x</Title><IsShowEula>0</IsShowEula></ui></type></r>");
  EXPECT_EQ(Title(), L"");
  EXPECT_TRUE(ShowEula());
  Write("<r><CurrentType>1</CurrentType>" + Profile("0", "zero") + Profile("1", "one") + "</r>");
  EXPECT_EQ(Title(), L"zero");
}

TEST_F(GetConfigInfoTest, ShowEulaFollowsTheNumberAndDefaultsToShown) {
  Write("<r>" + Profile("0", "t", "<isshoweula>0</isshoweula>") + "</r>");
  EXPECT_FALSE(ShowEula());
  Write("<r>" + Profile("0", "t", "<isshoweula>yes</isshoweula>") + "</r>");
  EXPECT_FALSE(ShowEula());
  Write("<r>" + Profile("0", "t", "<isshoweula>2</isshoweula>") + "</r>");
  EXPECT_TRUE(ShowEula());
  Write("<r>" + Profile("0", "t", "<isshoweula></isshoweula>") + "</r>");
  EXPECT_TRUE(ShowEula());
  Write("<r>" + Profile("0", "t") + "</r>");
  EXPECT_TRUE(ShowEula());
}

TEST_F(GetConfigInfoTest, CurrentTypeWithoutTextSelectsProfileZero) {
  Write("<r><currenttype/>" + Profile("1", "one") + Profile("0", "zero") + "</r>");
  EXPECT_EQ(Title(), L"zero");
}

TEST_F(GetConfigInfoTest, ChangesOnDiskAreSeenAtTheNextReading) {
  Write("<r>" + Profile("0", "t", "<isshoweula>1</isshoweula>") + "</r>");
  EXPECT_TRUE(ShowEula());
  Write("<r>" + Profile("0", "t", "<isshoweula>0</isshoweula>") + "</r>");
  EXPECT_FALSE(ShowEula());
}

TEST_F(GetConfigInfoTest, ReopeningTheSameReaderReplacesTheDocument) {
  Write("<r>" + Profile("0", "first") + "</r>");
  CGetConfigInfo& reader = CGetConfigInfo::Instance();
  ASSERT_TRUE(reader.Open(kPath));
  Write("<r>" + Profile("0", "second") + "</r>");
  ASSERT_TRUE(reader.Open(kPath));
  EXPECT_EQ(reader.GetTitle(), L"second");
  EXPECT_FALSE(reader.Open(L"C:\\prog\\missing.xml"));
  EXPECT_EQ(reader.GetTitle(), L"");
}

TEST_F(GetConfigInfoTest, UnreadableFilesYieldTheDefaults) {
  ExpectDefaults();  // missing
  WriteRaw("<r><currenttype>1</currenttype>" + Profile("1", "t", "<isshoweula>0</isshoweula>") + "</r>");
  ExpectDefaults();  // no declaration
  Write("<!-- comment -->" + std::string("<r>") + Profile("0", "t", "<isshoweula>0</isshoweula>") + "</r>");
  ExpectDefaults();  // comment between declaration and root
  Write("<r>" + Profile("0", "t", "<isshoweula>0</isshoweula>"));
  ExpectDefaults();  // truncated
  std::string garbage;
  for (int i = 0; i < 65536; ++i) garbage.push_back(static_cast<char>((i * 2654435761u) >> 13));
  WriteRaw(garbage);
  ExpectDefaults();
  std::string huge = std::string(kDecl) + "<r>" + Profile("0", "t", "<isshoweula>0</isshoweula>") + "<pad>";
  huge.append(10 * 1024 * 1024, 'p');
  WriteRaw(huge + "</pad></r>");
  ExpectDefaults();
}

TEST_F(GetConfigInfoTest, FreeInstanceMakesAFreshReader) {
  Write("<r><currenttype>3</currenttype></r>");
  CGetConfigInfo::Instance().Open(kPath);
  EXPECT_EQ(CGetConfigInfo::Instance().CurrentType(), 3);
  CGetConfigInfo::FreeInstance();
  EXPECT_EQ(CGetConfigInfo::Instance().CurrentType(), 0);
  EXPECT_EQ(CGetConfigInfo::Instance().Path(), L"");
}

// The config.xml shipped beside the program.
TEST_F(GetConfigInfoTest, ShippedFileBrandsTheProgramAndNamesAllFiveLicences) {
  const std::filesystem::path data = std::filesystem::path(KX_SOURCE_DIR) / "data";
  WriteRaw(kxtest::ReadHostFile(data / "config.xml"));
  ScopedConfigReading config(kPath);
  ASSERT_TRUE(config.opened());
  EXPECT_EQ(config->GetTitle(), L"Kestrunex");
  EXPECT_TRUE(config->IsShowEula());
  EXPECT_EQ(config->GetLogoPath(), L"skin\\logo.png");
  for (const char* language : {"english", "spanish", "french", "german", "japanese"}) {
    const std::wstring path = config->GetEulaPath(language);
    ASSERT_FALSE(path.empty()) << language;
    std::string host = platform::AnsiFromWide(path);
    std::replace(host.begin(), host.end(), '\\', '/');
    const std::string text = kxtest::ReadHostFile(data / host);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << language << ": licence text starts with a byte-order mark";
    EXPECT_NE(text.find("Kestrunex"), std::string::npos) << language;
  }
}

}  // namespace
