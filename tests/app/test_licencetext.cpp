// The licence window's text: the file config.xml names for the display
// language, decoded by its byte-order mark (else as the ANSI code page).

#include <fstream>

#include "app/tdlgeula.h"
#include "testmachine.h"
#include "wizardtest.h"

namespace wiztest {
namespace {

struct LicenceCase {
  const char* name;
  std::string bytes;
  const char* expected;  // UTF-8
};

class LicenceFile : public ::testing::TestWithParam<LicenceCase> {};

TEST_P(LicenceFile, IsDecodedByItsByteOrderMark) {
  kxtest::TestMachine machine;
  machine.WriteFile('C', "licence.txt", GetParam().bytes);
  EXPECT_EQ(TdlgEULA::ReadLicenceText(L"C:\\licence.txt").toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, LicenceFile,
    ::testing::Values(LicenceCase{"Utf8WithMark", "\xEF\xBB\xBFLizenz \xC3\xBC\r\nZeile 2\r\n", "Lizenz \xC3\xBC\nZeile 2"},
                      LicenceCase{"Utf16LittleEndian", std::string("\xFF\xFEL\0i\0\r\0\n\0x\0", 12), "Li\nx"},
                      LicenceCase{"Utf16BigEndian", std::string("\xFE\xFF\0O\0K", 6), "OK"},
                      LicenceCase{"NoMarkIsAnsi", "plain\ntext", "plain\ntext"},
                      LicenceCase{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LicenceFileMissing, AFolderOrAMissingFileGivesNoText) {
  kxtest::TestMachine machine;
  std::filesystem::create_directories(machine.Root('C') / "folder.txt");
  EXPECT_TRUE(TdlgEULA::ReadLicenceText(L"C:\\folder.txt").isEmpty());
  EXPECT_TRUE(TdlgEULA::ReadLicenceText(L"C:\\missing.txt").isEmpty());
}

using Licence = WizardTest;

TEST_F(Licence, TheWindowShowsTheShippedTextOfTheDisplayLanguage) {
  const std::string english = kxtest::ReadHostFile(ProgramFolder() / "licence/english.txt");
  ASSERT_FALSE(english.empty());
  const QString shown = Eula().EULAMemo()->toPlainText();
  EXPECT_TRUE(shown.startsWith(QString::fromUtf8(english.substr(0, english.find_first_of("\r\n")))))
      << shown.left(80).toStdString();
  EXPECT_TRUE(Eula().EULAMemo()->isReadOnly());
}

}  // namespace
}  // namespace wiztest
