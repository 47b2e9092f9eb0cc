// The licence window's text: the file config.xml names for the display
// language, decoded by its byte-order mark (else as the ANSI code page).

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

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

// The scroll bar's thumb sits where the text is and reads as the thumb:
// darker than the track it slides on (the application's style draws it
// lighter, so the darker track read as a thumb at the other end).
TEST_F(Licence, TheScrollBarsThumbIsAtTheTopOverALighterTrack) {
  ChooseMode(0);
  ASSERT_TRUE(Eula().isVisible());
  Pump(20);
  QScrollBar* bar = Eula().EULAMemo()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0) << "the licence text needs scrolling in its memo";
  ASSERT_EQ(bar->value(), 0);
  QStyleOptionSlider option;
  option.initFrom(bar);
  option.rect = bar->rect();
  option.orientation = Qt::Vertical;
  option.upsideDown = bar->invertedAppearance();
  option.minimum = bar->minimum();
  option.maximum = bar->maximum();
  option.sliderPosition = option.sliderValue = bar->value();
  option.pageStep = bar->pageStep();
  option.singleStep = bar->singleStep();
  option.subControls = QStyle::SC_All;
  const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
  const QRect track = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddPage, bar);
  ASSERT_FALSE(thumb.isEmpty());
  ASSERT_FALSE(track.isEmpty());
  EXPECT_LT(thumb.center().y(), track.center().y());
  const QImage image = bar->grab().toImage();
  auto lightness = [&](const QRect& r) {
    long sum = 0, n = 0;
    for (int y = r.top() + 2; y < r.bottom() - 1; ++y)
      for (int x = r.left() + 2; x < r.right() - 1; ++x, ++n) sum += QColor(image.pixel(x, y)).lightness();
    return n ? sum / n : 0;
  };
  EXPECT_LT(lightness(thumb), lightness(track));
}

}  // namespace
}  // namespace wiztest
