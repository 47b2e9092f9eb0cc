// Runs started from clicks: the percent display message by message through
// whole runs, cancelling, the end of a run (finish question, Exit), the
// work folder, the trace lines of the settings, the space warning.

#include <atomic>
#include <fstream>

#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "drivers/nodriverstext.h"
#include "fakeoperations.h"
#include "pipeline/toperationthd.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"
#include "wizardtest.h"

namespace wiztest {
namespace {

using Runs = WizardTest;

// One message of a run with what the window must show after it: the
// display arithmetic of the protocol, worked out by hand (N = 5).
struct Step {
  int step;  // the pipeline step whose operation sends it (0: the worker)
  Message message;
  int percent;
  const wchar_t* statusKey;
};

Message State(int state, platform::LPARAM value) { return {false, state, value}; }
Message Images(platform::LPARAM images) { return {true, 0, images}; }

const std::vector<Step> kUsbRun = {
    {5, State(0, 10), 2, L"Format"},          {5, State(0, 70), 14, L"Format"},
    {5, State(1, 100), 20, L"Format success"}, {8, State(5, 30), 26, L"Copy"},
    {8, State(5, 100), 40, L"Copy"},          {8, State(3, 100), 40, L"Copy success"},
    {9, Images(1), 40, L"Copy success"},      {9, State(6, 0), 40, L"Mount"},
    {9, State(6, 100), 46, L"Mount"},         {9, State(7, 0), 46, L"Mount success"},
    {9, State(9, 0), 46, L"Adding driver"},   {9, State(10, 50), 49, L"Commit"},
    {9, State(11, 0), 52, L"Commit success"}, {9, State(13, 100), 58, L"UnMount"},
    {9, State(14, 0), 58, L"UnMount"},        {7, State(5, 3), 58, L"Copy"},
    {7, State(3, 100), 58, L"Copy success"},  {19, State(5, 2), 58, L"Copy"},
    {19, State(3, 100), 58, L"Copy success"},
};

// The second run of the process, in the other mode: it starts from 0
// because the finish state of the first reset the total.
const std::vector<Step> kIsoRun = {
    {6, State(2, 50), 10, L"Copy OS"},         {6, State(2, 100), 20, L"Copy OS"},
    {6, State(3, 100), 20, L"Copy success"},   {3, Images(2), 20, L"Copy success"},
    {3, State(6, 100), 23, L"Mount"},          {3, State(7, 0), 23, L"Mount success"},
    {3, State(10, 100), 26, L"Commit"},        {3, State(11, 0), 26, L"Commit success"},
    {3, State(13, 100), 29, L"UnMount"},       {3, State(14, 0), 29, L"UnMount"},
    {3, State(6, 100), 32, L"Mount"},          {3, State(7, 0), 32, L"Mount success"},
    {3, State(10, 100), 35, L"Commit"},        {3, State(11, 0), 35, L"Commit success"},
    {3, State(13, 100), 38, L"UnMount"},       {3, State(14, 0), 38, L"UnMount"},
    {20, State(2, 50), 48, L"Copy OS"},        {20, State(3, 100), 48, L"Copy success"},
    {16, State(2, 10), 50, L"Copy OS"},        {16, State(3, 100), 50, L"Copy success"},
    {4, State(17, 50), 60, L"Generating ISO"}, {4, State(17, 100), 70, L"Generating ISO"},
    {4, State(16, 5), 50, L"Generating ISO"},  // a state without a row: P = 0, text kept
};

class ScriptedRuns : public WizardTest {
 protected:
  // Every step of the mode posts its part of the script and succeeds.
  void UseScript(const std::vector<Step>& run) {
    Main().SetOperationFactory(StepFactory([this, run](int step, platform::HWND hWnd) {
      std::vector<Message> script;
      for (const Step& s : run)
        if (s.step == step) script.push_back(s.message);
      return std::make_unique<ScriptedOperation>(
          hWnd, script, 1,
          [this] {
            return Shown{ui().lblPercent->text().toStdWString(), ui().pbDism->value(),
                         ui().lblState->text().toStdWString()};
          },
          &m_shown, &m_lock);
    }));
  }
  void ExpectShown(const std::vector<Step>& run) {
    std::lock_guard<std::mutex> guard(m_lock);
    ASSERT_EQ(m_shown.size(), run.size());
    for (size_t i = 0; i < run.size(); ++i) {
      SCOPED_TRACE("message " + std::to_string(i) + " of step " + std::to_string(run[i].step));
      EXPECT_EQ(m_shown[i].percent, std::to_wstring(run[i].percent));
      EXPECT_EQ(m_shown[i].bar, run[i].percent);
      EXPECT_EQ(m_shown[i].status, Translate(run[i].statusKey));
    }
    m_shown.clear();
  }
  std::mutex m_lock;
  std::vector<Shown> m_shown;
};

TEST_F(ScriptedRuns, PercentFollowsEveryMessageThroughAUsbRunThenAnIsoRunAfterNoToTheFinishQuestion) {
  UseScript(kUsbRun);
  OpenMainWindow(0);
  NextPage();
  Boxes().Answer(platform::IDYES);  // format
  Boxes().Answer(platform::IDNO);   // finish: start again
  NextPage();
  ASSERT_TRUE(WaitForRunEnd());
  ExpectShown(kUsbRun);
  EXPECT_EQ(ui().lblPercent->text(), "100");
  EXPECT_EQ(ui().pbDism->value(), 100);
  EXPECT_EQ(ui().lblState->text().toStdWString(), Translate(L"Successfully updated"));
  auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, Translate(L"SuccessMsg"));
  EXPECT_EQ(seen[1].caption, Translate(L"Finish"));
  EXPECT_EQ(seen[1].type, platform::MB_YESNO);
  EXPECT_TRUE(First().isVisible());
  EXPECT_FALSE(Main().isVisible());
  EXPECT_FALSE(First().ProgramEnded());
  EXPECT_FALSE(std::filesystem::exists(Machine().Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp"));

  // The other mode, from the mode window again; no format question there.
  Boxes().Clear();
  UseScript(kIsoRun);
  OpenMainWindow(1);
  EXPECT_EQ(Main().CurPage(), 0);
  EXPECT_EQ(ui().m_pNext->Caption(), Translate(L"Next"));
  EXPECT_TRUE(ui().lblState->text().isEmpty());
  NextPage();
  BrowseTo(Machine().Root('G') / "iso");
  Boxes().Answer(platform::IDYES);  // finish: end
  NextPage();
  ASSERT_TRUE(WaitForRunEnd());
  ExpectShown(kIsoRun);
  EXPECT_EQ(ui().pbDism->value(), 100);
  seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, Translate(L"SuccessMsg"));
  EXPECT_TRUE(First().ProgramEnded());
}

TEST_F(Runs, CancelTwiceWhileStoppingCancelsTwiceAndEndsWithTheCancelQuestion) {
  std::atomic<int> stops{0};
  std::atomic<bool> started{false};
  Main().SetOperationFactory(StepFactory([&](int step, platform::HWND) -> std::unique_ptr<BasicOperation> {
    if (step == 5) return std::make_unique<StubbornOperation>(&stops, 2, &started);
    return std::make_unique<ScriptedOperation>(nullptr, std::vector<Message>{}, 1, nullptr, nullptr, nullptr);
  }));
  OpenMainWindow(0);
  NextPage();
  Boxes().Answer(platform::IDYES);  // format
  Boxes().Answer(platform::IDYES);  // finish: end
  NextPage();
  ASSERT_EQ(ui().m_pNext->Caption(), Translate(L"Cancel"));
  // The format is under way.
  ASSERT_TRUE(WaitUntil([&] { return stops.load() == 0 && started.load(); }));
  ASSERT_TRUE(Click(ui().m_pNext));
  EXPECT_EQ(Main().CurPage(), TMainForm::kNoPage);
  EXPECT_EQ(Main().NextTag(), TMainForm::kTagLeftRun);
  EXPECT_EQ(stops.load(), 1);
  EXPECT_FALSE(First().ProgramEnded()) << "still stopping";
  ASSERT_TRUE(Click(ui().m_pNext));
  EXPECT_EQ(stops.load(), 2);
  ASSERT_TRUE(WaitForRunEnd());
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, Translate(L"CancelMsg"));
  EXPECT_TRUE(First().ProgramEnded());
  EXPECT_NE(Trace().find("[UpdateResult] Finish_UserCancel"), std::string::npos);
  // No step reported a format: the stick is as it was.
  EXPECT_EQ(ui().lblTargetState->text().toStdWString().rfind(Translate(L"Cli State Stick Unchanged") + L" ", 0), 0u)
      << ui().lblTargetState->text().toStdString();
}

// Ctrl+C, SIGTERM or SIGHUP from the terminal the wizard was started from:
// the run is cancelled as by the Cancel button, then the program ends
// without the finish question; without a run it ends at once.
TEST_F(Runs, ATerminalSignalCancelsTheRunAndEndsTheProgramWithoutAQuestion) {
  std::atomic<int> stops{0};
  std::atomic<bool> started{false};
  Main().SetOperationFactory(StepFactory([&](int step, platform::HWND) -> std::unique_ptr<BasicOperation> {
    if (step == 5) return std::make_unique<StubbornOperation>(&stops, 1, &started);
    return std::make_unique<ScriptedOperation>(nullptr, std::vector<Message>{}, 1, nullptr, nullptr, nullptr);
  }));
  OpenMainWindow(0);
  NextPage();
  Boxes().Answer(platform::IDYES);  // format
  NextPage();
  ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
  Main().OnTerminalSignal();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(stops.load(), 1);
  EXPECT_TRUE(First().ProgramEnded());
  EXPECT_EQ(Boxes().Seen().size(), 1u) << "only the format question";
  EXPECT_NE(Trace().find("[UpdateResult] Finish_UserCancel"), std::string::npos);
}

TEST_F(Runs, AfterAFailureTheButtonReadsExitTheBarStaysAndExitEndsTheProgram) {
  std::vector<Shown> unused;
  std::mutex lock;
  Main().SetOperationFactory(StepFactory([&](int, platform::HWND hWnd) {
    return std::make_unique<ScriptedOperation>(hWnd, std::vector<Message>{State(2, 60)}, 0, nullptr, &unused, &lock);
  }));
  OpenMainWindow(1);
  NextPage();
  BrowseTo(Machine().Root('G') / "iso");
  NextPage();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(ui().m_pNext->Caption(), Translate(L"Exit"));
  EXPECT_EQ(ui().pbDism->value(), 12);
  EXPECT_EQ(ui().lblState->text().toStdWString(), Translate(L"Copy OS") + Translate(L"Operation failed"));
  EXPECT_TRUE(Boxes().Seen().empty()) << "no finish question after a failure";
  EXPECT_FALSE(ui().m_pBack->isVisible());
  EXPECT_FALSE(Main().close());
  EXPECT_FALSE(std::filesystem::exists(Machine().Root('C') / "ProgramData/Ovanta/Kestrunex/OvantaToolTmp"));
  EXPECT_FALSE(First().ProgramEnded());
  ASSERT_TRUE(Click(ui().m_pNext));
  EXPECT_TRUE(First().ProgramEnded());
}

TEST_F(Runs, StateEighteenDropsTheBarToZero) {
  Main().Send(WM_OPSTATE, 5, 100);
  Main().Send(WM_OPSTATE, 3, 100);
  EXPECT_EQ(ui().pbDism->value(), 20);
  Main().Send(WM_OPSTATE, 18, 0);
  EXPECT_EQ(ui().pbDism->value(), 0);
  EXPECT_EQ(ui().lblPercent->text(), "0");
  EXPECT_EQ(ui().lblState->text().toStdWString(), Translate(L"CancelStatus"));
}

// The settings of the run in the trace log, in order, written as they are:
// the wizard's run writes them (every field and both modes are the job
// set-up's unit tests).
struct TraceCase {
  const char* name;
  int mode;
  const wchar_t* tagPath;
};

class SettingsTrace : public WizardTest, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(SettingsTrace, SevenLinesNameTheRecordAndTheMode) {
  const TraceCase& c = GetParam();
  Main().SetOperationFactory(StepFactory([](int, platform::HWND) { return nullptr; }));
  OpenMainWindow(c.mode);
  NextPage();
  if (c.mode == 1) BrowseTo(Machine().Root('G') / "50%done %s");
  NextPage();
  ASSERT_TRUE(WaitForRunEnd());
  const std::string trace = Trace();
  const std::string work = platform::AnsiFromWide(Main().TmpPath());
  const std::string program = platform::AnsiFromWide(platform::GetProgramFolder());
  const std::vector<std::string> lines = {
      "WIN7_OPERAT_INFO:szSourcePath: E:\\",
      "WIN7_OPERAT_INFO:szDriverPath: C:\\ProgramData\\Ovanta\\Kestrunex\\U3",
      "WIN7_OPERAT_INFO:szImgDriverPath: C:\\ProgramData\\Ovanta\\Kestrunex\\OS",
      "WIN7_OPERAT_INFO:szTagPath: " + platform::AnsiFromWide(c.tagPath),
      "WIN7_OPERAT_INFO:szTmpPath: " + work,
      "WIN7_OPERAT_INFO:bIs64bitDVD: 1",
      "WIN7_OPERAT_INFO:m_DlgType: " + std::to_string(c.mode)};
  size_t at = 0;
  for (const std::string& line : lines) {
    const size_t found = trace.find(line + "\r\n", at);
    EXPECT_NE(found, std::string::npos) << line << "\n" << trace;
    if (found != std::string::npos) at = found;
  }
  // This computer's USB controllers and what drives them follow.
  EXPECT_NE(trace.find("[DriverCoverage] USB controllers of this computer: ", at), std::string::npos) << trace;
  EXPECT_EQ(work, "C:\\ProgramData\\Ovanta\\Kestrunex\\OvantaToolTmp\\");
}

INSTANTIATE_TEST_SUITE_P(Modes, SettingsTrace,
                         ::testing::Values(TraceCase{"IsoFolderWhole", 1, L"G:\\50%done %s\\"}),
                         [](const auto& info) { return std::string(info.param.name); });

// No drive has room for the work folder: the warning names what is needed
// (twice as much in ISO mode) and the program ends without a worker.
class SpaceWarning : public WizardTest, public ::testing::WithParamInterface<int> {};

TEST_P(SpaceWarning, NamesTheSpaceNeededAndEndsTheProgram) {
  const int mode = GetParam();
  auto drives = DefaultDrives();
  drives[1].freeMb = 100;
  // ISO mode: room for the image itself, not for the work folder beside it;
  // USB mode: no room anywhere.
  drives[2].freeMb = mode == 0 ? 4400 : 4600;
  Start(drives, 200);
  Main().SetDvdMeasure([](const std::wstring&) { return 4000; });
  OpenMainWindow(mode);
  NextPage();
  if (mode == 1) BrowseTo(Machine().Root('G') / "iso");
  Boxes().Clear();
  NextPage();
  const auto seen = Boxes().Seen();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().text, SpaceWarningText(mode == 0 ? 4500 : 9000));
  EXPECT_EQ(seen.back().caption, Translate(L"Warning"));
  EXPECT_EQ(seen.back().type, platform::MB_OK);
  EXPECT_NE(seen.back().text.find(mode == 0 ? L" 4500 MB" : L" 9000 MB"), std::wstring::npos);
  EXPECT_TRUE(First().ProgramEnded());
  EXPECT_EQ(Main().OperationThd(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Modes, SpaceWarning, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Usb" : "Iso"; });

// A driver library without a package for the DVD's architecture: the box
// says so and names the command that adds one as soon as the source is
// chosen; the source page stays and no run starts.
class NoDrivers : public WizardTest, public ::testing::WithParamInterface<int> {};

TEST_P(NoDrivers, TheBoxNamesTheAddCommandOnTheSourcePage) {
  const int mode = GetParam();
  fs::remove_all(Machine().dir().path() / "drivers");
  OpenMainWindow(mode);
  Boxes().Clear();
  NextPage();
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, NoDriversText(true));
  EXPECT_NE(seen[0].text.find(L"kestrunex-cli drivers add"), std::wstring::npos);
  EXPECT_EQ(seen[0].caption, Translate(L"Warning"));
  EXPECT_TRUE(ui().panSelectDVD->isVisible());
  EXPECT_EQ(Main().OperationThd(), nullptr);
  EXPECT_FALSE(First().ProgramEnded());
}

INSTANTIATE_TEST_SUITE_P(Modes, NoDrivers, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Usb" : "Iso"; });

// Packages the run would use that 64-bit Windows 7 will not load are named
// on the source page, with the reason; the box refuses nothing (the medium
// may be for another computer) and the wizard goes on.
TEST_F(WizardTest, PackagesWindows7WillNotLoadAreNamedOnTheSourcePageAndTheRunGoesOn) {
  for (const auto& entry : fs::recursive_directory_iterator(Machine().dir().path() / "drivers"))
    if (entry.path().filename() == "record.ini")
      std::ofstream(entry.path(), std::ios::app)
          << "signature = \"findings\"\nunsigned = \"yes\"\nfinding = \"amd64|mismatch|X.SYS|\"\n";
  OpenMainWindow(1);
  Boxes().Clear();
  NextPage();
  const auto seen = Boxes().Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text.rfind(Translate(L"Drivers Run Not Loaded") + L" ", 0), 0u) << platform::AnsiFromWide(seen[0].text);
  EXPECT_NE(seen[0].text.find(Translate(L"Drivers Added Unsigned")), std::wstring::npos);
  EXPECT_FALSE(ui().panSelectDVD->isVisible());
}

}  // namespace
}  // namespace wiztest
