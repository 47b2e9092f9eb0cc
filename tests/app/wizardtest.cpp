#include "wizardtest.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "config/ovmultilangdll.h"
#include "pipeline/progressdisplay.h"
#include "sampledrivers.h"
#include "pipeline/toperationthd.h"
#include "platform/fs/paths.h"
#include "pipeline/steplists.h"
#include "platform/fs/sysfolders.h"
#include "qtapp.h"
#include "src/gui/Painter/TextPainter/qttextrasterizer.h"

namespace wiztest {

namespace {

void Mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
  const QPoint at = w->rect().center();
  QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

std::string RunCommand(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = ::pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

}  // namespace

const fs::path& SampleMedium() {
  static kxtest::TempDir dir;
  static const fs::path medium = [] {
    const fs::path out = dir.path() / "medium";
    int status = -1;
    const std::string log =
        RunCommand(std::string(KX_SOURCE_DIR) + "/scripts/make-sample-medium '" + out.string() + "' 2>&1", &status);
    if (status != 0) ADD_FAILURE() << "make-sample-medium failed: " << log;
    return out;
  }();
  return medium;
}

void CopySampleMedium(const fs::path& to) {
  fs::create_directories(to);
  fs::copy(SampleMedium(), to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

bool Click(QWidget* widget) {
  if (!widget || !widget->isVisible() || !widget->isEnabled()) return false;
  Mouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
  Mouse(widget, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
  Mouse(widget, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
  return true;
}

void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  } while (timer.elapsed() < ms);
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

std::vector<kxtest::DriveSpec> DefaultDrives() {
  return {{.letter = 'E', .type = "cdrom", .label = "GRMCULFRER_EN_DVD", .fileSystem = "CDFS"},
          {.letter = 'F', .type = "removable", .bus = "usb", .label = "STICK", .fileSystem = "FAT32",
           .totalMb = 7600, .disk = 1},
          {.letter = 'G', .type = "fixed", .bus = "sata", .fileSystem = "NTFS", .freeMb = 100000}};
}

fs::path WizardTest::ProgramFolder() {
  std::string host;
  EXPECT_TRUE(platform::ResolvePath(platform::GetProgramFolder(), host));
  return host;
}

void WizardTest::SetUp() {
  apptest::EnsureQtApp();
  gs::InstallFontSubstitutes();
  ResetStepListsForTesting();
  ProgressDisplay::Instance().Reset();
  m_previousFolder = fs::current_path();
  Start(DefaultDrives());
}

void WizardTest::Start(std::vector<kxtest::DriveSpec> drives, std::optional<std::uint64_t> systemFreeMb,
                       std::vector<std::pair<int, std::uint64_t>> disks) {
  StopWindows();
  m_machine.reset();
  m_diskMachine.reset();
  const bool hasE = std::any_of(drives.begin(), drives.end(), [](const auto& d) { return d.letter == 'E'; });
  m_machine = std::make_unique<kxtest::TestMachine>(std::move(drives), systemFreeMb, std::move(disks));
  if (hasE) CopySampleMedium(m_machine->Root('E'));
  m_systemDrive = m_machine->Root('C');
  // Child processes (our oscdimg) see the same machine.
  ::setenv("KESTRUNEX_PREFIX", m_machine->dir().str().c_str(), 1);
  kxtest::AddSampleDrivers();
  MakeWindows();
}

void WizardTest::StartWithVirtualStick(std::uint64_t sizeMb) {
  StopWindows();
  m_machine.reset();
  m_diskMachine.reset();
  m_diskMachine = std::make_unique<kxtest::DiskMachine>(
      std::vector<kxtest::VirtualDisk>{{1, sizeMb, "usb", true, "label: dos\\nstart=2048,type=c\\n"}},
      std::vector<kxtest::VolumeSpec>{{'F', 1, 1, "removable"}},
      "\n[drive E]\nfolder = dvd\ntype = cdrom\nlabel = GRMCULFRER_EN_DVD\nfilesystem = CDFS\n"
      "\n[drive G]\nfolder = drive_g\ntype = fixed\nbus = sata\nfilesystem = NTFS\nfree_mb = 100000\n"
      "\n[drivers]\nlibrary = drivers\nsamples = yes\npci = pci\n");
  const fs::path root = m_diskMachine->dir().path();
  m_systemDrive = root / "drive_c";
  fs::create_directories(m_systemDrive / "Windows/System32");
  fs::create_directories(m_systemDrive / "ProgramData/Ovanta/Kestrunex");
  fs::create_directories(root / "drive_g");
  fs::create_symlink(std::string(KX_PROGRAM_DIR) + "/diskpart", m_systemDrive / "Windows/System32/diskpart.exe");
  // Child processes (our diskpart) see the same machine.
  ::setenv("KESTRUNEX_PREFIX", root.string().c_str(), 1);
  m_diskMachine->FormatFat(1, 1, "");
  m_diskMachine->Install();
  kxtest::AddSampleDrivers();
  CopySampleMedium(root / "dvd");
  MakeWindows();
}

fs::path WizardTest::StickImage() const { return m_diskMachine->Image(1); }

void WizardTest::MakeWindows() {
  fs::current_path(ProgramFolder());  // as the program starts
  m_mainThread = std::make_unique<QtMainThread>();
  m_mainThread->Install();
  m_first = std::make_unique<TdlgFirst>();
  // The default machine's stick is a folder drive standing in for a
  // partition of a USB disk; a virtual stick is looked up for real.
  if (!m_diskMachine) Main().SetUsbTargetCheck([](const std::wstring&) { return true; });
  // Tests do not wait whole seconds for the size timer.
  Main().ui().Timer1->setInterval(5);
  m_first->show();
}

void WizardTest::StopWindows() {
  m_first.reset();
  m_mainThread.reset();
}

void WizardTest::TearDown() {
  StopWindows();
  m_machine.reset();
  m_diskMachine.reset();
  ::unsetenv("KESTRUNEX_PREFIX");
  fs::current_path(m_previousFolder);
  ResetStepListsForTesting();
}

void WizardTest::ChooseMode(int mode) {
  First().cmbMode()->setCurrentIndex(mode);
  ASSERT_TRUE(Click(First().NextButton()));
}

void WizardTest::AgreeAndGoOn() {
  ASSERT_TRUE(Eula().isVisible());
  ASSERT_FALSE(Eula().NextButton()->isEnabled());
  ASSERT_TRUE(Click(Eula().CheckBox1()));
  ASSERT_TRUE(Eula().CheckBox1()->isChecked());
  ASSERT_TRUE(Click(Eula().NextButton()));
}

void WizardTest::OpenMainWindow(int mode) {
  ChooseMode(mode);
  AgreeAndGoOn();
  ASSERT_TRUE(Main().isVisible());
  WaitForSourceSize();
}

void WizardTest::WaitForSourceSize() {
  ASSERT_TRUE(WaitUntil([this] { return ui().cmbDVDlist->isEnabled() || ui().cmbDVDlist->currentIndex() < 0; }));
}

void WizardTest::NextPage() { ASSERT_TRUE(Click(ui().m_pNext)); }

void WizardTest::BrowseTo(const fs::path& hostFolder) {
  fs::create_directories(hostFolder);
  Main().SetFolderPicker([hostFolder](const QString&) { return QString::fromStdString(hostFolder.string()); });
  ASSERT_TRUE(Click(ui().m_pBrowseFolder));
}

bool WizardTest::WaitForRunEnd(int timeoutMs) {
  return WaitUntil(
      [this] {
        TOperationThd* worker = Main().OperationThd();
        return First().ProgramEnded() || First().isVisible() ||
               (worker && worker->Parked() && ui().m_pNext->Caption() == Translate(L"Exit"));
      },
      timeoutMs);
}

std::string WizardTest::Trace() const {
  return kxtest::ReadHostFile(m_systemDrive / "ProgramData/Ovanta/Kestrunex/RAREzodav.log");
}

}  // namespace wiztest
