#include "testmachine.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace kxtest {
namespace {

std::string& TestDriverRoots() {
  static std::string pem;
  return pem;
}

}  // namespace

void SetTestDriverRoots(std::string pem) { TestDriverRoots() = std::move(pem); }

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "kxtest-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  char* made = ::mkdtemp(buf.data());
  path_ = made ? fs::path(made) : fs::temp_directory_path() / ("kxtest-" + std::to_string(::getpid()));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only leftovers removable.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

TestMachine::TestMachine(std::vector<DriveSpec> drives, std::optional<std::uint64_t> systemFreeMb,
                         std::vector<std::pair<int, std::uint64_t>> disksMb) {
  std::ostringstream profile;
  profile << "[drive C]\nfolder = drive_c\ntype = fixed\nbus = sata\nfilesystem = NTFS\n";
  if (systemFreeMb) profile << "free_mb = " << *systemFreeMb << "\n";
  fs::create_directories(dir_.path() / "drive_c");
  for (const auto& d : drives) {
    std::string folder = std::string("drive_") + static_cast<char>(std::tolower(d.letter));
    fs::create_directories(dir_.path() / folder);
    profile << "\n[drive " << d.letter << "]\nfolder = " << folder << "\ntype = " << d.type << "\n";
    if (!d.bus.empty()) profile << "bus = " << d.bus << "\n";
    if (!d.label.empty()) profile << "label = " << d.label << "\n";
    if (!d.fileSystem.empty()) profile << "filesystem = " << d.fileSystem << "\n";
    if (!d.ready) profile << "ready = no\n";
    if (d.freeMb) profile << "free_mb = " << *d.freeMb << "\n";
    if (d.totalMb) profile << "total_mb = " << *d.totalMb << "\n";
    if (d.disk >= 0) profile << "disk = " << d.disk << "\n";
  }
  for (const auto& [number, mb] : disksMb) profile << "\n[disk " << number << "]\nsize_mb = " << mb << "\n";
  // A driver library of the machine's own (empty until a test fills it, see
  // sampledrivers.h): no test reads or writes the system's library.
  // Its test root, when the tests set one, signs their driver catalogs.
  // Its PCI devices are a folder of its own (empty: no controllers), so no
  // test sees this computer's.
  profile << "\n[drivers]\nlibrary = drivers\nsamples = yes\npci = pci\n";
  fs::create_directories(dir_.path() / "pci");
  if (!TestDriverRoots().empty()) {
    profile << "roots = test-roots\n";
    std::ofstream(dir_.path() / "test-roots") << TestDriverRoots();
  }
  {
    std::ofstream out(ProfilePath());
    out << profile.str();
  }
  scoped_ = std::make_unique<platform::ScopedMachine>(platform::Machine::FromProfile(ProfilePath(), dir_.str()));
}

TestMachine::~TestMachine() = default;

std::string TestMachine::ProfilePath() const { return (dir_.path() / "machine.ini").string(); }

fs::path TestMachine::Root(char letter) const {
  return dir_.path() / (std::string("drive_") + static_cast<char>(std::tolower(letter)));
}

void TestMachine::WriteFile(char letter, const std::string& relative, const std::string& content) const {
  fs::path p = Root(letter) / relative;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << content;
}

FakeClock::FakeClock(int hour, int minute, int second, int ms) { Set(hour, minute, second, ms); }

void FakeClock::Set(int hour, int minute, int second, int ms) {
  nowMs_ = ((static_cast<std::uint64_t>(hour) * 60 + minute) * 60 + second) * 1000 + ms;
}

platform::SYSTEMTIME FakeClock::LocalTime() {
  platform::SYSTEMTIME st;
  std::uint64_t t = nowMs_ % (24ull * 3600 * 1000);
  st.wYear = 2026;
  st.wMonth = 12;
  st.wDay = 7;
  st.wHour = static_cast<std::uint16_t>(t / 3600000);
  st.wMinute = static_cast<std::uint16_t>(t / 60000 % 60);
  st.wSecond = static_cast<std::uint16_t>(t / 1000 % 60);
  st.wMilliseconds = static_cast<std::uint16_t>(t % 1000);
  return st;
}

void FakeClock::Sleep(platform::DWORD milliseconds) {
  nowMs_ += milliseconds;
  slept_ += milliseconds;
}

std::string ReadHostFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int AsNobody(const std::string& command) {
  std::string quoted = "'";
  for (char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const int status = std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups sh -c " + quoted).c_str());
  return status < 0 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
}

}  // namespace kxtest
