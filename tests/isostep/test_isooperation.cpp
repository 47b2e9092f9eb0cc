// The ISO step: the tool and boot files it names, the command line piece by
// piece, the numbered ISO file, the precheck box, and what a run posts and
// returns when the tool succeeds, fails or is cancelled.
#include <unistd.h>

#include <chrono>
#include <thread>

#include "isosteptest.h"
#include "pipeline/completeoperation.h"
#include "pipeline/checkoperation.h"
#include "pipeline/isooperation.h"
#include "pipeline/steplists.h"
#include "pipeline/toperationthd.h"
#include "platform/process/process.h"
#include "platform/fs/sysfolders.h"

namespace {

using namespace isotest;
using namespace std::chrono_literals;

struct CommandCase {
  const char* name;
  bool is64;
  std::wstring folder, isoFolder, label;
  std::vector<std::string> existing;  // files already in E:\Out
  std::wstring isoPath;
  friend void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }
};

class IsoCommand : public IsoStepTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(IsoCommand, NamesToolBootFilesAndTempFileAndTheImageGetsItsNumberedName) {
  const CommandCase& c = GetParam();
  for (const std::string& f : c.existing) machine.WriteFile('E', "Out/" + f, "old");
  const std::string record = (machine.dir().path() / "args.txt").string();
  Script("record:" + record + "|image|out: 100% complete|exit:0");

  ISOOperation op(&window, kStateGeneratingIso, c.folder, c.isoFolder, c.label, c.is64);
  ASSERT_EQ(op.Excute(), 1);

  const std::wstring prog = platform::GetProgramFolder();
  const std::wstring arch = prog + (c.is64 ? L"Oscdimg_amd64\\Oscdimg\\" : L"Oscdimg_x86\\Oscdimg\\");
  const std::wstring boot = c.is64 ? L"-bootdata:2#p0,e,b\"" + arch + L"etfsboot.com\"#pEF,e,b\"" + arch + L"efisys.bin\""
                                   : L"-bootdata:1#p0,e,b\"" + arch + L"etfsboot.com\"";
  // The tool writes a temporary file of the ISO folder, which no image
  // numbering counts.
  const std::wstring temp = op.ImageTempFile();
  EXPECT_EQ(temp.rfind(L"E:\\Out\\kestrunex-image-", 0), 0u) << platform::AnsiFromWide(temp);
  EXPECT_EQ(temp.substr(temp.size() - 4), L".tmp");
  const std::wstring cmd = L"\"" + prog + L"Oscdimg_x86\\Oscdimg\\oscdimg.exe\" -lWIN7 -m -o -u1 -udfver102 " + boot +
                           L" \"" + c.folder + L"\" \"" + temp + L"\"";
  EXPECT_TRUE(Traced("[ISOOperation::tmp_oscdTool]" + platform::AnsiFromWide(arch + L"oscdimg.exe")));
  EXPECT_TRUE(Traced("[MakeISOFile::SetCmd - m_cmd]" + platform::AnsiFromWide(cmd)));
  // The tool got the folder and the temporary file as two arguments.
  std::string args;
  for (const std::wstring& a : platform::SplitCommandLine(cmd)) args += "[" + platform::AnsiFromWide(a) + "]\n";
  args.erase(0, args.find('\n') + 1);  // the program itself is not recorded
  EXPECT_EQ(kxtest::ReadHostFile(record), args);
  // The finished image has its numbered name, nothing else is left.
  std::string image;
  ASSERT_TRUE(platform::ResolvePath(c.isoPath, image));
  EXPECT_EQ(kxtest::ReadHostFile(image), "image");
  EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(machine.Root('E') / "Out"), {})),
            c.existing.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Part, IsoCommand,
    ::testing::Values(
        CommandCase{"Bit64Fresh", true, L"D:\\OvantaToolTmp0\\", L"E:\\Out", L"LABEL", {}, L"E:\\Out\\LABEL.iso"},
        CommandCase{"Bit64Taken", true, L"D:\\OvantaToolTmp0\\", L"E:\\Out", L"LABEL", {"LABEL.iso"},
                    L"E:\\Out\\LABEL0.iso"},
        CommandCase{"TwoTaken", true, L"D:\\OvantaToolTmp0\\", L"E:\\Out\\", L"LABEL", {"LABEL.iso", "LABEL0.iso"},
                    L"E:\\Out\\LABEL1.iso"},
        CommandCase{"NoLabel", false, L"D:\\OvantaToolTmp0\\", L"E:\\Out", L"", {}, L"E:\\Out\\.iso"},
        CommandCase{"NoLabelTaken", false, L"D:\\OvantaToolTmp0\\", L"E:\\Out", L"", {".iso"}, L"E:\\Out\\0.iso"},
        CommandCase{"Bit32", false, L"D:\\OvantaToolTmp0\\", L"E:\\Out", L"GRMC_X86", {}, L"E:\\Out\\GRMC_X86.iso"},
        CommandCase{"UnsafeLabel", true, L"D:\\OvantaToolTmp0\\", L"E:\\Out", L"A\"B\\C/D:E*F?G<H>I|J", {},
                    L"E:\\Out\\A_B_C_D_E_F_G_H_I_J.iso"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IsoStepTest, MissingIsoFolderShowsTheBoxAndStartsNothing) {
  const std::string record = (machine.dir().path() / "ran.txt").string();
  Script("record:" + record);
  ISOOperation op(&window, kStateGeneratingIso, L"D:\\OvantaToolTmp0\\", L"E:\\Gone", L"LABEL", true);
  EXPECT_EQ(op.Excute(), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"The ISO directory does not exist.");
  EXPECT_EQ(boxes[0].caption, L"make ISO error");
  EXPECT_EQ(boxes[0].type, platform::MB_OK);
  EXPECT_FALSE(fs::exists(record));
  EXPECT_TRUE(Pump().empty());
}

// What a run posts and returns for the tool's behaviour.
struct RunCase {
  const char* name;
  std::string script;
  int result;
  States posted;
  std::vector<std::string> traced;
  friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

class IsoRun : public IsoStepTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(IsoRun, PostsGrowingPercentagesAndReportsTheToolsEnd) {
  const RunCase& c = GetParam();
  Script(c.script);
  ISOOperation op(&window, kStateGeneratingIso, L"D:\\OvantaToolTmp0\\", L"E:\\Out", L"LABEL", true);
  EXPECT_EQ(op.Excute(), c.result);
  EXPECT_EQ(Pump(), c.posted);
  for (const std::string& line : c.traced) EXPECT_TRUE(Traced(line)) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Part, IsoRun,
    ::testing::Values(
        RunCase{"ChunksTwelveSevenHundred",
                "image|out: 12% complete\\n|sleep:60|out:  7% complete\\n|sleep:60|out:100% complete\\n|exit:0",
                1,
                {{17, 12}, {17, 100}},
                {"[MakeISOFile::Excute]- start", "[MakeISOFile::Excute]- MakeISOThread start",
                 "[MakeISOFile::MakeISOThread]- CreateProcess", "[MakeISOFile::MakeISOThread]- ReadPipe",
                 "  7% complete", "ISOOperation Excute - end(TRUE)"}},
        RunCase{"ChunkBeginsWithFive", "image|out:5% complete\\n|exit:0", 1, {{17, 5}}, {}},
        RunCase{"ExitCodeThree", "out: 30% complete\\n|sleep:60|exit:3",
                0,
                {{17, 30}, {17, 0}},
                {"[MakeISOFile::MakeISOThread]-MakeISOFile  fail", "[MakeISOFile::MakeISOThread]-Exit Code:3",
                 "[ISOOperation- RunOperate] is fail"}},
        // Reading stops at 100, but the step waits for the tool's own verdict.
        RunCase{"FailsAfterHundred", "out:100% complete\\n|sleep:100|exit:4",
                0,
                {{17, 100}, {17, 0}},
                {"[MakeISOFile::MakeISOThread]-Exit Code:4"}},
        RunCase{"SilentSuccess", "image|exit:0", 1, {}, {"[MakeISOFile::MakeISOThread]- ReadPipe fail"}},
        RunCase{"ErrorStreamCounts", "image|err: 40% complete\\n|exit:0", 1, {{17, 40}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Cancels at three moments; in each the step returns true, posts (17, 0)
// last, no tool is left running (the tool holds a lock while alive) and no
// image, whole or partial, is left in the ISO folder.
enum class CancelAt { BeforeStart, DuringStart, DuringRun };

std::string CancelName(const ::testing::TestParamInfo<CancelAt>& info) {
  static const char* const kNames[] = {"BeforeStart", "DuringStart", "DuringRun"};
  return kNames[static_cast<int>(info.param)];
}

class IsoCancel : public IsoStepTest, public ::testing::WithParamInterface<CancelAt> {};

TEST_P(IsoCancel, IsSeenAtAnyMomentAfterTheStepBegan) {
  const std::wstring lock = L"KX-ISO-TOOL-" + std::to_wstring(::getpid());
  const std::string record = (machine.dir().path() / "started.txt").string();
  Script("record:" + record + "|lock:" + platform::AnsiFromWide(lock) + "|image|out: 10% complete\\n|sleep:60000|exit:0");
  ISOOperation op(&window, kStateGeneratingIso, L"D:\\OvantaToolTmp0\\", L"E:\\Out", L"LABEL", true);
  if (GetParam() == CancelAt::BeforeStart) op.Stop();
  if (GetParam() == CancelAt::DuringStart) MakeISOFile::Instance().SetBeforeStartHook([&] { op.Stop(); });

  const auto begun = std::chrono::steady_clock::now();
  int result = -1;
  std::thread worker([&] { result = op.Excute(); });
  if (GetParam() == CancelAt::DuringRun) {
    window.PumpUntil([&] { return !states.empty(); }, 20s);
    ASSERT_EQ(states.front(), (std::pair<int, platform::LPARAM>{17, 10}));
    op.Stop();
  }
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 20s);
  EXPECT_EQ(result, 1);
  const States posted = Pump();
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back(), (std::pair<int, platform::LPARAM>{17, 0}));
  EXPECT_TRUE(op.IsStop());
  const bool started = GetParam() != CancelAt::BeforeStart;
  EXPECT_EQ(Traced("[MakeISOFile::MakeISOThread]- CreateProcess"), started);
  if (!started) {
    EXPECT_FALSE(fs::exists(record));
  }
  EXPECT_TRUE(platform::NamedMutex(lock).Owned());  // the tool is gone
  EXPECT_TRUE(fs::is_empty(machine.Root('E') / "Out"));  // and what it wrote
}

INSTANTIATE_TEST_SUITE_P(Moments, IsoCancel,
                         ::testing::Values(CancelAt::BeforeStart, CancelAt::DuringStart, CancelAt::DuringRun),
                         CancelName);

// The worker, cancelled while the tool runs, reports the cancel.
class ResultView final : public RunResultView {
 public:
  std::wstring StatusText() const override { return status; }
  void SetStatusText(const std::wstring& text) override { status = text; }
  void ShowResult(int result) override { results.push_back(result); }
  std::wstring status;
  std::vector<int> results;
};

TEST_F(IsoStepTest, WorkerCancelledDuringTheToolReportsCancel) {
  Script("out: 10% complete\\n|sleep:60000|exit:0");
  WIN7_OPERAT_INFO info{};
  SetInfoField(info.szTmpPath, L"D:\\OvantaToolTmp0\\");
  SetInfoField(info.szTagPath, L"E:\\Out");
  SetInfoField(info.szSourcePath, L"E:\\");
  platform::SetMainThread(&window);
  ResultView view;
  {
    TOperationThd worker(true, false, &info, kModeIso, &window, &view, [](Win7InsCreator& c) -> std::unique_ptr<BasicOperation> {
      if (c.CurrentStep() == 4) return std::make_unique<ISOOperation>(c.Window(), kStateGeneratingIso, c.TmpPath(),
                                                                      c.Info().szTagPath, L"LABEL", true);
      if (c.CurrentStep() == kEndMark) return std::make_unique<CompleteOperation>();
      return std::make_unique<CheckOperation>();
    });
    worker.Resume();
    ASSERT_TRUE(window.PumpUntil([&] { return !states.empty(); }, 20s));
    worker.Cancel();
    ASSERT_TRUE(window.PumpUntil([&] { return !view.results.empty(); }, 20s));
  }
  platform::SetMainThread(nullptr);
  EXPECT_EQ(view.results, std::vector<int>{kRunCancelled});
  EXPECT_EQ(states.back(), (std::pair<int, platform::LPARAM>{17, 0}));
}

}  // namespace
