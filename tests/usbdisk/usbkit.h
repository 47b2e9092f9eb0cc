#pragma once
// What the USB-preparation tests share: a machine with virtual disks whose
// system folder holds our disk tool (as the system's "diskpart"), the child
// processes pointed at the same prefix, message boxes answered from a list,
// waits skipped, and the trace log's lines.

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diskkit.h"
#include "disk/tracelog.h"
#include "disk/usb/cdiskop.h"
#include "platform/clock.h"
#include "platform/fs/paths.h"
#include "platform/process/process.h"
#include "platform/windows/window.h"
#include "testmachine.h"

namespace kxusb {

struct ShownBox {
  std::wstring text;
  std::wstring caption;
  platform::UINT type = 0;
};

class ScriptedBoxes final : public platform::MessageBoxPresenter {
 public:
  explicit ScriptedBoxes(std::deque<int> answers = {}) : answers_(std::move(answers)) {
    platform::SetMessageBoxPresenter(this);
  }
  ~ScriptedBoxes() override { platform::SetMessageBoxPresenter(nullptr); }
  int Show(platform::HWND, const std::wstring& text, const std::wstring& caption, platform::UINT type) override {
    shown.push_back({text, caption, type});
    if (answers_.empty()) return platform::IDOK;
    int a = answers_.front();
    answers_.pop_front();
    return a;
  }
  std::vector<ShownBox> shown;

 private:
  std::deque<int> answers_;
};

// The machine installed in this process and named to child processes; our
// disk tool (or a wrapper script around it) is the system's diskpart.
class UsbMachine {
 public:
  UsbMachine(std::vector<kxtest::VirtualDisk> disks, std::vector<kxtest::VolumeSpec> volumes,
             const std::string& extraProfile = "")
      : disks_(std::move(disks), std::move(volumes), extraProfile), clock_(fake_) {
    auto sys = disks_.dir().path() / "drive_c/Windows/System32";
    std::filesystem::create_directories(sys);
    std::filesystem::create_symlink(std::string(KX_PROGRAM_DIR) + "/diskpart", sys / "diskpart.exe");
    std::filesystem::create_directories(disks_.dir().path() / "drive_c/ProgramData/Ovanta/Kestrunex");
    ::setenv("KESTRUNEX_PREFIX", disks_.dir().str().c_str(), 1);
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(disks_.dir().path());
    disks_.Install();
    // The job's bare "diskpart" runs from there (WrapDiskpart replaces it).
    tools_ = std::make_unique<platform::ScopedToolFolder>(platform::SystemPathFromHost(sys.string()));
    // The runner's one script file lives in the current folder.
    static_cast<void>(gs::CDiskOP::Instance()->DeleteScriptFile());  // an earlier test's, if any
    EXPECT_TRUE(gs::CDiskOP::Instance()->CreateScriptFile());
  }
  ~UsbMachine() {
    EXPECT_TRUE(gs::CDiskOP::Instance()->DeleteScriptFile());
    std::filesystem::current_path(previousDir_);
    ::unsetenv("KESTRUNEX_PREFIX");
  }
  // Replaces the system's diskpart by a shell script (run with the real
  // tool's path as $REAL).
  void WrapDiskpart(const std::string& body) {
    auto exe = disks_.dir().path() / "drive_c/Windows/System32/diskpart.exe";
    std::filesystem::remove(exe);
    std::ofstream(exe) << "#!/bin/sh\nREAL=" << KX_PROGRAM_DIR << "/diskpart\n" << body << "\n";
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
  }
  kxtest::DiskMachine& disks() { return disks_; }
  // Milliseconds the code under test waited on the fake clock.
  std::uint64_t SleptMs() const { return fake_.sleptMs(); }
  std::string Log() const {
    std::string host;
    EXPECT_TRUE(platform::ResolvePath(TraceLogPath(), host));
    return kxtest::ReadHostFile(host);
  }

 private:
  kxtest::DiskMachine disks_;
  std::unique_ptr<platform::ScopedToolFolder> tools_;
  kxtest::FakeClock fake_;
  platform::ScopedClock clock_;
  std::filesystem::path previousDir_;
};

}  // namespace kxusb
