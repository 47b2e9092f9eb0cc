#pragma once
// The wizard as a person meets it, on a machine the test builds: the
// program folder is the test's own copy of the program folder (string
// library, languages, skin, config.xml, licences, OS and Other folders),
// the current folder is that folder, the Qt application is offscreen, and
// message boxes are answered by script.
//
// The default machine: E: an optical drive holding the generated sample
// medium, F: a USB stick (disk 1, 7,600 MiB), G: a fixed NTFS drive with
// 100,000 MiB free for ISO folders, and C: with 100,000 MiB free.

#include <gtest/gtest.h>

#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qtmainthread.h"
#include "app/tdlgeula.h"
#include "app/tdlgfirst.h"
#include "app/tmainform.h"
#include "platform/locale.h"
#include "scriptedboxes.h"
#include "testmachine.h"
#include "diskkit.h"

namespace wiztest {

namespace fs = std::filesystem;

// The folder of the sample medium, made once per process by
// scripts/make-sample-medium.
const fs::path& SampleMedium();
// Copies the sample medium into a folder.
void CopySampleMedium(const fs::path& to);

// A left click through the application, as a mouse gives it: refused by a
// hidden or disabled control. True when the click was delivered.
bool Click(QWidget* widget);
// Runs the event loop until pred() holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 10000);
void Pump(int ms = 0);

// The default drives (see above).
std::vector<kxtest::DriveSpec> DefaultDrives();

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Builds the machine and the windows; the default SetUp calls it with the
  // default drives. A test that needs another machine calls it again.
  void Start(std::vector<kxtest::DriveSpec> drives, std::optional<std::uint64_t> systemFreeMb = 100000,
             std::vector<std::pair<int, std::uint64_t>> disks = {{1, 7600}});
  void StopWindows();
  // The machine of a USB run: E: the sample medium, F: partition 1 of a
  // virtual USB stick of sizeMb (a sparse image file with a FAT32 partition
  // from 1 MiB to its end),
  // G: a fixed NTFS folder drive; our disk tool is the system's diskpart.
  void StartWithVirtualStick(std::uint64_t sizeMb);
  // The image file of the virtual stick.
  fs::path StickImage() const;
  // Host folder of C:.
  fs::path SystemDrive() const { return m_systemDrive; }

  TdlgFirst& First() { return *m_first; }
  TdlgEULA& Eula() { return m_first->dlgEULA(); }
  TMainForm& Main() { return m_first->MainForm(); }
  const TMainForm::Controls& ui() { return Main().ui(); }
  kxtest::TestMachine& Machine() { return *m_machine; }
  ScriptedBoxes& Boxes() { return m_boxes; }

  // Mode window: choose the mode and click Next; the licence window: tick
  // "I agree" and click Next. Then wait for the source size.
  void ChooseMode(int mode);
  void AgreeAndGoOn();
  void OpenMainWindow(int mode);
  void WaitForSourceSize();
  // From the source page to the target page, from there to the run page.
  void NextPage();
  // The ISO page: browse to a host folder (created when missing).
  void BrowseTo(const fs::path& hostFolder);
  // Waits until the run's result has been shown (finish question or Exit).
  bool WaitForRunEnd(int timeoutMs = 60000);
  std::string Trace() const;

  // The program folder of the test.
  static fs::path ProgramFolder();

 private:
  void MakeWindows();

  std::unique_ptr<kxtest::TestMachine> m_machine;
  std::unique_ptr<kxtest::DiskMachine> m_diskMachine;
  fs::path m_systemDrive;
  std::unique_ptr<QtMainThread> m_mainThread;
  ScriptedBoxes m_boxes;
  std::unique_ptr<TdlgFirst> m_first;
  fs::path m_previousFolder;
};

}  // namespace wiztest
