#include "src/xml/gsxml.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <tinyxml.h>

#include "testmachine.h"
#include "casename.h"

namespace {

using gs::GsXml;

constexpr char kDecl[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

class GsXmlTest : public ::testing::Test {
 protected:
  // Writes C:\cfg\doc.xml and returns its system path.
  std::string Write(const std::string& content) {
    machine.WriteFile('C', "cfg/doc.xml", content);
    return "C:\\cfg\\doc.xml";
  }
  bool Load(const std::string& content) { return xml.Open(Write(content), false); }

  kxtest::TestMachine machine;
  GsXml xml;
};

TEST_F(GsXmlTest, OpensDeclarationFollowedByRootOfAnyName) {
  ASSERT_TRUE(Load(std::string(kDecl) + "<anything><a>1</a></anything>"));
  EXPECT_TRUE(xml.IsOpen());
  ASSERT_NE(xml.Root(), nullptr);
  EXPECT_NE(GsXml::FindChild(xml.Root(), "a"), nullptr);
  xml.Close();
  EXPECT_FALSE(xml.IsOpen());
  EXPECT_EQ(xml.Root(), nullptr);
}

TEST_F(GsXmlTest, RejectsFilesWithoutDeclarationOrWithNodeBeforeRoot) {
  EXPECT_FALSE(Load("<root/>"));
  EXPECT_FALSE(Load(std::string(kDecl) + "<!-- branding -->\n<root/>"));
  EXPECT_FALSE(Load(std::string(kDecl)));
  EXPECT_FALSE(xml.IsOpen());
}

TEST_F(GsXmlTest, MissingAndDamagedFilesDoNotOpen) {
  EXPECT_FALSE(xml.Open("C:\\cfg\\none.xml", false));
  EXPECT_FALSE(xml.Open("Q:\\unmapped.xml", false));
  EXPECT_FALSE(Load(std::string(kDecl) + "<root><type key=\"0\"><ui><tit"));
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) & 0xFF));
  EXPECT_FALSE(Load(garbage));
  EXPECT_FALSE(Load(std::string(kDecl) + garbage));
  EXPECT_FALSE(xml.IsOpen());
}

TEST_F(GsXmlTest, OversizedAndDeeplyNestedFilesAreRefusedWithoutCrashing) {
  std::string big = std::string(kDecl) + "<root><title>";
  big.append(10 * 1024 * 1024, 'x');
  big += "</title></root>";
  EXPECT_FALSE(Load(big));

  std::string deep = kDecl;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  EXPECT_FALSE(Load(deep));
}

TEST_F(GsXmlTest, CreateWritesAnEmptyRootDocumentWhenTheFileCannotBeLoaded) {
  machine.WriteFile('C', "cfg/other.txt", "");
  ASSERT_TRUE(xml.Open("C:\\cfg\\new.xml", true));
  ASSERT_NE(xml.Root(), nullptr);
  EXPECT_STREQ(xml.Root()->Value(), "root");
  std::string written = kxtest::ReadHostFile(machine.Root('C') / "cfg" / "new.xml");
  EXPECT_NE(written.find("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>"), std::string::npos);
  EXPECT_NE(written.find("<root />"), std::string::npos);
}

TEST_F(GsXmlTest, FindChildLowerCasesTheNameButNotTheFile) {
  ASSERT_TRUE(Load(std::string(kDecl) + "<r><Title>a</Title><title>b</title></r>"));
  std::wstring text;
  EXPECT_TRUE(GsXml::GetText(GsXml::FindChild(xml.Root(), "TITLE"), text));
  EXPECT_EQ(text, L"b");
  EXPECT_EQ(GsXml::FindChild(nullptr, "title"), nullptr);
}

TEST_F(GsXmlTest, FindChildMatchesKeyIgnoringAsciiCaseOnly) {
  ASSERT_TRUE(Load(std::string(kDecl) +
                   "<r><type>none</type><type key=\" b\">sp</type><type key=\"01\">z</type>"
                   "<other key=\"ab\"/><type key=\"aB\">hit</type><type key=\"ab\">second</type></r>"));
  std::wstring text;
  GsXml::GetText(GsXml::FindChild(xml.Root(), "type", "Ab"), text);
  EXPECT_EQ(text, L"hit");
  EXPECT_EQ(GsXml::FindChild(xml.Root(), "type", "b"), nullptr);  // no trimming
  EXPECT_EQ(GsXml::FindChild(xml.Root(), "type", "1"), nullptr);  // 01 is not 1
  GsXml::GetText(GsXml::FindChild(xml.Root(), "type", ""), text);
  EXPECT_EQ(text, L"none");  // an empty key takes the first element
}

TEST_F(GsXmlTest, TextIsTheFirstChildOnlyWhenItIsText) {
  ASSERT_TRUE(Load(std::string(kDecl) +
                   "<r><a>  two   words  </a><b/><c><!-- x -->t</c><d><e>t</e></d><f>caf\xC3\xA9</f></r>"));
  std::wstring text = L"old";
  EXPECT_TRUE(GsXml::GetText(GsXml::FindChild(xml.Root(), "a"), text));
  EXPECT_EQ(text, L"two words");
  EXPECT_FALSE(GsXml::GetText(GsXml::FindChild(xml.Root(), "b"), text));
  EXPECT_EQ(text, L"");
  EXPECT_FALSE(GsXml::GetText(GsXml::FindChild(xml.Root(), "c"), text));
  EXPECT_FALSE(GsXml::GetText(GsXml::FindChild(xml.Root(), "d"), text));
  EXPECT_FALSE(GsXml::GetText(nullptr, text));
  EXPECT_TRUE(GsXml::GetText(GsXml::FindChild(xml.Root(), "f"), text));
  EXPECT_EQ(text, L"caf\u00e9");
}

struct IntCase {
  const char* name;
  const char* text;
  int expected;
};

class GsXmlIntTest : public GsXmlTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(GsXmlIntTest, ParsesLikeStrtolBaseZero) {
  ASSERT_TRUE(Load(std::string(kDecl) + "<r><n>" + GetParam().text + "</n></r>"));
  int value = -12345;
  EXPECT_TRUE(GsXml::GetInt(GsXml::FindChild(xml.Root(), "n"), value));
  EXPECT_EQ(value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Numbers, GsXmlIntTest,
                         ::testing::Values(IntCase{"Decimal", "12", 12}, IntCase{"Hexadecimal", "0x1F", 31},
                                           IntCase{"Octal", "010", 8}, IntCase{"Negative", "-3", -3},
                                           IntCase{"Plus", "+7", 7}, IntCase{"Word", "yes", 0},
                                           IntCase{"TrailingLetters", "9abc", 9}, IntCase{"BadOctalDigit", "099", 0},
                                           IntCase{"TooLargeClamps", "99999999999", 2147483647},
                                           IntCase{"TooSmallClamps", "-99999999999", -2147483647 - 1}),
                         kxtest::ByName());

TEST_F(GsXmlTest, GetIntLeavesTheValueAloneWithoutText) {
  ASSERT_TRUE(Load(std::string(kDecl) + "<r><n/><m><x>1</x></m></r>"));
  int value = 42;
  EXPECT_FALSE(GsXml::GetInt(GsXml::FindChild(xml.Root(), "n"), value));
  EXPECT_FALSE(GsXml::GetInt(GsXml::FindChild(xml.Root(), "m"), value));
  EXPECT_FALSE(GsXml::GetInt(nullptr, value));
  EXPECT_EQ(value, 42);
}

}  // namespace

namespace {

// A folder, an endless device or a pipe where the settings file should be:
// not opened, never read without end, never written into (a pipe without a
// reader would block the writer for good).
TEST_F(GsXmlTest, FoldersDevicesAndPipesAtTheNameNeitherOpenNorHang) {
  const auto cfg = machine.Root('C') / "cfg";
  std::filesystem::create_directories(cfg / "folder.xml");
  std::filesystem::create_symlink("/dev/zero", cfg / "zero.xml");
  ASSERT_EQ(::mkfifo((cfg / "pipe.xml").c_str(), 0600), 0);
  for (const char* name : {"folder.xml", "zero.xml", "pipe.xml"}) {
    const std::string path = std::string("C:\\cfg\\") + name;
    EXPECT_FALSE(xml.Open(path, false)) << name;
    xml.Close();
    xml.Open(path, true);  // returns: the default document stays in memory only
    xml.Close();
  }
  EXPECT_TRUE(std::filesystem::is_fifo(cfg / "pipe.xml"));
  EXPECT_TRUE(std::filesystem::is_directory(cfg / "folder.xml"));
}

}  // namespace
