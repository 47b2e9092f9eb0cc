#pragma once
// Machines built by tests: a temporary folder that holds the prefix (C:)
// and one folder per declared drive, described by a profile that is written
// and installed for the lifetime of the object.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/machine/machine.h"

namespace kxtest {

// A fresh temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

struct DriveSpec {
  char letter = 'E';
  std::string type = "fixed";  // removable, fixed, cdrom, remote
  std::string bus;             // usb, sata ... ("" = unset)
  std::string label;
  std::string fileSystem;      // "" = derived from the host
  bool ready = true;
  std::optional<std::uint64_t> freeMb;
  std::optional<std::uint64_t> totalMb;
  int disk = -1;
};

// The PEM of the root certificate that test machines made from now on
// accept for driver signatures (their profile's `roots = test-roots`);
// none set: the profile names no roots file. Tests that sign catalogs set
// it once, before the first machine.
void SetTestDriverRoots(std::string pem);

// Declares drives in a temporary prefix and installs the machine.
class TestMachine {
 public:
  // C: is always declared (fixed, NTFS); pass its free space when it matters.
  explicit TestMachine(std::vector<DriveSpec> drives = {}, std::optional<std::uint64_t> systemFreeMb = std::nullopt,
                       std::vector<std::pair<int, std::uint64_t>> disksMb = {});
  TestMachine(std::initializer_list<DriveSpec> drives) : TestMachine(std::vector<DriveSpec>(drives)) {}
  ~TestMachine();
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  // Host folder of a drive's root.
  std::filesystem::path Root(char letter) const;
  // Writes a file (creating folders) at a path relative to a drive's root.
  void WriteFile(char letter, const std::string& relative, const std::string& content) const;
  const TempDir& dir() const { return dir_; }
  std::string ProfilePath() const;

 private:
  TempDir dir_;
  std::unique_ptr<platform::ScopedMachine> scoped_;
};

// Runs a shell command as the unprivileged user 65534 (nobody), the way a
// local attacker plants links and files; its exit status (-1: not run).
int AsNobody(const std::string& command);
// The uid an unprivileged attacker runs as.
inline constexpr unsigned kNobodyUid = 65534;

// A clock that stands still until told to move; Sleep advances it.
class FakeClock final : public platform::Clock {
 public:
  explicit FakeClock(int hour = 9, int minute = 5, int second = 3, int ms = 7);
  platform::SYSTEMTIME LocalTime() override;
  void Sleep(platform::DWORD milliseconds) override;
  void Set(int hour, int minute, int second, int ms);
  std::uint64_t sleptMs() const { return slept_; }

 private:
  std::uint64_t nowMs_;
  std::uint64_t slept_ = 0;
};

// The content of a host file ("" when it cannot be read).
std::string ReadHostFile(const std::filesystem::path& file);

}  // namespace kxtest
