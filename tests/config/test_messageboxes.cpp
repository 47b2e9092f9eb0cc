#include "config/messageboxes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/ovmultilangdll.h"
#include "config/simplemessage.h"

namespace {

using namespace platform;

struct Shown {
  HWND owner;
  std::wstring text, caption;
  UINT type;
};

// Answers boxes from a script and records what was asked.
class ScriptedPresenter final : public MessageBoxPresenter, public SimpleMessagePresenter {
 public:
  ScriptedPresenter() {
    SetMessageBoxPresenter(this);
    SetSimpleMessagePresenter(this);
  }
  ~ScriptedPresenter() override {
    SetMessageBoxPresenter(nullptr);
    SetSimpleMessagePresenter(nullptr);
  }
  int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) override {
    boxes.push_back({owner, text, caption, type});
    return answer;
  }
  void ShowMessage(const std::wstring& text, const std::wstring& title) override {
    boxes.push_back({nullptr, text, title, 0xFFFF});
  }
  const Shown& last() const { return boxes.back(); }

  std::vector<Shown> boxes;
  int answer = IDOK;
};

// Any window handle will do: the catalogue only passes it on.
class DummyWindow final : public Window {
 public:
  bool Post(UINT, WPARAM, LPARAM) override { return true; }
  LRESULT Send(UINT, WPARAM, LPARAM) override { return 0; }
};

struct FixedBox {
  const char* name;
  void (*show)();
  const wchar_t* text;
  const wchar_t* caption;
  UINT type;
};

class FixedBoxTest : public ::testing::TestWithParam<FixedBox> {};

TEST_P(FixedBoxTest, ShowsItsFixedTextCaptionAndStyleWithoutOwner) {
  ScriptedPresenter presenter;
  GetParam().show();
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.last().owner, nullptr);
  EXPECT_EQ(presenter.last().text, GetParam().text);
  EXPECT_EQ(presenter.last().caption, GetParam().caption);
  EXPECT_EQ(presenter.last().type, GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, FixedBoxTest,
    ::testing::Values(
        FixedBox{"NotUsb", ShowNotUsbDiskBox, L"This is not a USB disk/flash.", L"Error", MB_OK | MB_ICONERROR},
        FixedBox{"LangName", ShowLangNameErrorBox, L"OvGetLangName error", L"OvMultiLangDll", MB_OK | MB_ICONWARNING},
        FixedBox{"IsoFolder", ShowIsoFolderMissingBox, L"The ISO directory does not exist.", L"make ISO error", MB_OK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MessageBoxes, UsbQuestionsAreYesOnlyForYesAndOwnedByTheGivenWindow) {
  ScriptedPresenter presenter;
  DummyWindow app;
  for (int answer : {IDYES, IDNO, IDCANCEL, 0}) {
    presenter.answer = answer;
    EXPECT_EQ(AskFormatFailure(&app), answer == IDYES);
    EXPECT_EQ(presenter.last().owner, &app);
    EXPECT_EQ(presenter.last().text, Translate(L"Format failure"));
    EXPECT_EQ(presenter.last().caption, Translate(L"Warning"));
    EXPECT_EQ(presenter.last().type, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(AskFormatConfirm(&app), answer == IDYES);
    EXPECT_EQ(presenter.last().text, Translate(L"Format confirm"));
    EXPECT_EQ(presenter.last().type, MB_YESNO | MB_ICONWARNING);
  }
}

TEST(MessageBoxes, UsbErrorsUseTranslatedOrFixedTexts) {
  ScriptedPresenter presenter;
  DummyWindow app;
  ShowStillFailedBox(&app);
  EXPECT_EQ(presenter.last().owner, &app);
  EXPECT_EQ(presenter.last().text, Translate(L"Still failed"));
  EXPECT_EQ(presenter.last().caption, Translate(L"Error"));
  EXPECT_EQ(presenter.last().type, MB_OK | MB_ICONERROR);
  ShowUsbLetterErrorBox();
  EXPECT_EQ(presenter.last().owner, nullptr);
  EXPECT_EQ(presenter.last().text, L"Get USB disk/flash letter error!");
  EXPECT_EQ(presenter.last().caption, Translate(L"Error"));
}

TEST(MessageBoxes, FinishQuestionStartsAgainOnlyForExactlyNo) {
  ScriptedPresenter presenter;
  DummyWindow main;
  presenter.answer = IDNO;
  EXPECT_TRUE(AskFinishStartAgain(&main, false));
  EXPECT_EQ(presenter.last().text, Translate(L"SuccessMsg"));
  EXPECT_EQ(presenter.last().caption, Translate(L"Finish"));
  EXPECT_EQ(presenter.last().type, MB_YESNO);
  for (int answer : {IDYES, IDCANCEL, 0}) {
    presenter.answer = answer;
    EXPECT_FALSE(AskFinishStartAgain(&main, true));
    EXPECT_EQ(presenter.last().text, Translate(L"CancelMsg"));
  }
}

TEST(MessageBoxes, FormatWarningJoinsTheTextsWithBlanksAndKeepsPercentSigns) {
  ScriptedPresenter presenter;
  DummyWindow main;
  presenter.answer = IDYES;
  EXPECT_TRUE(AskFormatWarning(&main, L"E:\\ 7.5 GB %s", L"Stick, 7.5 GiB, /dev/sdb"));
  EXPECT_EQ(presenter.last().text, Translate(L"Format warning1") + L" E:\\ 7.5 GB %s " + Translate(L"Format warning2") +
                                       L"\nStick, 7.5 GiB, /dev/sdb");
  EXPECT_EQ(presenter.last().caption, Translate(L"Warning"));
  EXPECT_EQ(presenter.last().type, MB_YESNO | MB_DEFBUTTON2);
  presenter.answer = IDNO;
  EXPECT_FALSE(AskFormatWarning(&main, L"E:\\", L""));
  EXPECT_EQ(presenter.last().text, FormatWarningText(L"E:\\"));
  EXPECT_EQ(FormatWarningText(std::wstring(2000, L'x')).size(), kFormatWarningMaxChars);
}

TEST(MessageBoxes, SpaceWarningRepeatsTheSameKeyAroundTheSize) {
  ScriptedPresenter presenter;
  DummyWindow main;
  ShowSpaceWarningBox(&main, 7000);
  const std::wstring w = Translate(L"Space warning1");
  EXPECT_EQ(presenter.last().text, w + L" 7000 MB" + w);
  EXPECT_EQ(presenter.last().caption, Translate(L"Warning"));
  EXPECT_EQ(presenter.last().type, MB_OK);
}

TEST(MessageBoxes, SimpleMessagesAreCaptionedWithTheApplicationTitle) {
  ScriptedPresenter presenter;
  ShowDiskTooSmallMessage();
  EXPECT_EQ(presenter.last().text, Translate(L"Disk too small"));
  EXPECT_EQ(presenter.last().caption, L"Kestrunex");
  EXPECT_EQ(presenter.last().type, 0xFFFFu);
  ShowNotNtfsMessage();
  EXPECT_EQ(presenter.last().text, Translate(L"Not NTFS"));
}

TEST(MessageBoxes, SimpleMessageFallsBackToAPlainBoxWithoutItsPresenter) {
  ScriptedPresenter presenter;
  SetSimpleMessagePresenter(nullptr);
  ShowSimpleMessage(L"hello");
  EXPECT_EQ(presenter.last().caption, L"Kestrunex");
  EXPECT_EQ(presenter.last().type, MB_OK);
}

TEST(MessageBoxes, DismFailureNamesCallCodeAndTextInLowerHex) {
  ScriptedPresenter presenter;
  ShowDismFailureBox(L"DismMountImage", static_cast<std::int32_t>(0xC1420116u), L"The image is in use.");
  EXPECT_EQ(presenter.last().text, L"DismMountImage failed 0xc1420116 : The image is in use.  ");
  EXPECT_EQ(presenter.last().caption, L"DismCpp");
  EXPECT_EQ(presenter.last().type, MB_OK);
  EXPECT_EQ(presenter.last().owner, nullptr);
  EXPECT_EQ(DismFailureText(L"DismAddDriver  ", 0x2, L""), L"DismAddDriver   failed 0x2 :   ");
  EXPECT_EQ(DismFailureText(L"X", 1, std::wstring(500, L'e')).size(), kDismTextMaxUnits - 1);
}

}  // namespace
