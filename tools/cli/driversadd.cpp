#include "tools/cli/driversadd.h"

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "config/ovmultilangdll.h"
#include "drivers/archiveunpacker.h"
#include "drivers/inputkind.h"
#include "drivers/msiunpacker.h"
#include "drivers/packagesignature.h"
#include "drivers/safefolder.h"
#include "platform/invoker/invoker.h"
#include "drivers/stalefolders.h"
#include "platform/text.h"
#include "platform/windows/signalwatcher.h"
#include "tools/cli/headlessjob.h"
#include "tools/cli/signaturetext.h"

namespace {

// The private unpacking folders: mode 0700 below the system's temporary
// folder (not $TMPDIR: the program may run as root for another user).
constexpr const char* kTempParent = "/tmp";
constexpr const char* kTempPrefix = "kestrunex-drivers-";

// Names and fields from packages, listings and databases: shown, never acted on.
std::wstring W(const std::string& s) { return platform::PrintableText(platform::WideFromAnsi(s)); }

// The private folder of one path, removed with everything in it; locked
// while this run lives, so a later run sweeps it if this one dies first.
class TempFolder {
 public:
  TempFolder() : path_(drivers::MakePrivateFolder(kTempParent, kTempPrefix)), hold_(drivers::HoldFolder(path_)) {}
  ~TempFolder() {
    if (!path_.empty()) drivers::RemoveTree(path_);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  drivers::UniqueFd hold_;
};

const wchar_t* UnpackKey(drivers::UnpackCode code) {
  using drivers::UnpackCode;
  switch (code) {
    case UnpackCode::NotAnArchive: return L"Drivers Not Archive";
    case UnpackCode::UnsafeName: return L"Drivers Unsafe Name";
    case UnpackCode::UnreadableName: return L"Drivers Unreadable Name";
    case UnpackCode::WindowsName: return L"Drivers Windows Name";
    case UnpackCode::Link: return L"Drivers Link";
    case UnpackCode::TooLarge: return L"Drivers Too Large";
    case UnpackCode::TooMany: return L"Drivers Too Many";
    case UnpackCode::Damaged: return L"Drivers Damaged";
    case UnpackCode::WriteFailed: return L"Drivers Write Failed";
    case UnpackCode::ToolFailed: return L"Drivers Tool Failed";
    case UnpackCode::Unreadable: return L"Drivers Member Unreadable";
    case UnpackCode::Stopped: return L"Drivers Interrupted";
    case UnpackCode::Ok: break;
  }
  return L"Drivers Damaged";
}

const wchar_t* RefusalKey(drivers::RefusalCode code) {
  using drivers::RefusalCode;
  switch (code) {
    case RefusalCode::NotDriverInf: return L"Drivers Not Driver Inf";
    case RefusalCode::UnsupportedClass: return L"Drivers Not Usb";
    case RefusalCode::NoModels: return L"Drivers No Models";
    case RefusalCode::MissingFiles: return L"Drivers Missing Files";
    case RefusalCode::NoCatalog: return L"Drivers No Catalog";
    case RefusalCode::Unreadable: return L"Drivers Inf Unreadable";
    case RefusalCode::NoInf: return L"Drivers No Inf";
  }
  return L"Drivers Inf Unreadable";
}

void Refuse(Console& console, const std::string& file, const std::wstring& reason) {
  console.Complain(Translate(L"Drivers Refused") + L" " + W(file) + L": " + reason);
}

struct AddOptions {
  bool sample = false;
  bool allowUnsigned = false;
  drivers::TrustedRoots roots;
  const std::atomic<bool>* stop = nullptr;  // set by SIGINT, SIGTERM, SIGHUP
  bool Stopped() const { return stop && stop->load(); }
};

// The package's signature state into its record; false (with the refusal
// printed) when it may not be added.
bool CheckSignature(drivers::FoundPackage& package, const std::string& shown, const AddOptions& options,
                    Console& console) {
  const drivers::PackageSignature sig =
      drivers::CheckPackageSignature(package.files.front().host, package.record.archs, options.roots);
  drivers::PackageRecord& r = package.record;
  r.signer = sig.signer;
  r.signature = sig.SignedForWindows() ? "windows" : "findings";
  r.proof = sig.proof;
  for (const auto& f : sig.findings) r.findings.push_back(drivers::FindingLine(f));
  if (sig.HasFindings("amd64") && !options.allowUnsigned) {
    for (const auto& f : sig.findings) Refuse(console, shown, FindingText(f));
    console.Complain(Translate(L"Drivers Unsigned Hint"));
    return false;
  }
  r.unsignedAllowed = sig.HasFindings("amd64");
  for (const auto& f : sig.findings)
    console.Complain(Translate(L"Drivers Warning") + L" " + W(shown) + L": " + FindingText(f));
  return true;
}

// The packages of one path: 0 when it gave none. refusedPackage: a driver
// package of the path was refused for its signature or not stored.
int AddOne(drivers::DriverLibrary& library, const std::string& given, const AddOptions& options, Console& console,
           bool& refusedPackage) {
  std::error_code ec;
  const std::string path = std::filesystem::absolute(given, ec).lexically_normal().string();
  // Opened once, as the user who started us when root runs for someone
  // (platform/invoker), and used by descriptor from then on: root reads
  // only what that user could, and what was classified is what is read.
  platform::invoker::Fd input(platform::invoker::Open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
  const std::string openError = input ? std::string() : std::strerror(errno);
  const drivers::InputKind kind = input ? drivers::ClassifyOpened(input.get()) : drivers::InputKind::Unreadable;
  TempFolder temp;
  std::string root = path;
  switch (kind) {
    case drivers::InputKind::Folder: {
      // Copied into a folder of ours in one walk by descriptor that refuses
      // links and special files and counts the caps on what it copies; the
      // scan then reads only our copy.
      const drivers::UnpackResult copied =
          temp.path().empty() ? drivers::UnpackResult{drivers::UnpackCode::WriteFailed, kTempParent}
                              : drivers::CopyTreeFrom(input.get(), temp.path(), "", {}, true);
      if (!copied.ok()) {
        Refuse(console, path, Translate(UnpackKey(copied.code)) + (copied.detail.empty() ? L"" : L" " + W(copied.detail)));
        return 0;
      }
      root = temp.path();
      break;
    }
    case drivers::InputKind::InnoSetup: Refuse(console, path, Translate(L"Drivers Inno")); return 0;
    case drivers::InputKind::InstallShield: Refuse(console, path, Translate(L"Drivers InstallShield")); return 0;
    case drivers::InputKind::Unreadable:
      Refuse(console, path, Translate(L"Drivers Unreadable") + (openError.empty() ? L"" : L" " + W(openError)));
      return 0;
    case drivers::InputKind::Archive:
    case drivers::InputKind::Msi: {
      if (temp.path().empty()) {
        Refuse(console, path, Translate(L"Drivers Write Failed") + L" " + W(kTempParent));
        return 0;
      }
      // msiextract reads the very file opened above through its descriptor's path.
      const drivers::UnpackLimits limits{.stop = options.stop};
      const drivers::UnpackResult result =
          kind == drivers::InputKind::Msi
              ? drivers::UnpackMsi(platform::invoker::DescriptorPath(input.get()), temp.path())
              : drivers::UnpackArchive(input.get(), temp.path(), limits);
      if (result.code == drivers::UnpackCode::Stopped) return 0;
      if (!result.ok()) {
        Refuse(console, path, Translate(UnpackKey(result.code)) + (result.detail.empty() ? L"" : L" " + W(result.detail)));
        return 0;
      }
      root = temp.path();
      break;
    }
  }
  if (options.Stopped()) return 0;
  std::vector<drivers::FoundPackage> found;
  std::vector<drivers::Refusal> refused;
  drivers::ScanFolder(root, found, refused);
  for (const auto& r : refused) {
    const std::string file = r.code == drivers::RefusalCode::NoInf ? path : path + " > " + r.file;
    Refuse(console, file, Translate(RefusalKey(r.code)) + (r.detail.empty() ? L"" : L" " + W(r.detail)));
  }
  int packages = 0;
  for (auto& package : found) {
    // A package is added whole or not at all: a stop is taken between two.
    if (options.Stopped()) break;
    std::string error;
    if (!CheckSignature(package, path + " > " + package.found, options, console)) {
      refusedPackage = true;
      continue;
    }
    switch (library.Add(package, path, options.sample, error)) {
      case drivers::AddOutcome::Added:
        ++packages;
        console.Say(Translate(L"Drivers Added") + L" " + W(package.record.name) + L"  (" +
                    W(package.record.provider + ", " + package.record.version + ", " + package.record.ArchText()) +
                    L")  " + W(path + " > " + package.found));
        break;
      case drivers::AddOutcome::AlreadyThere:
        ++packages;
        console.Say(Translate(L"Drivers Already") + L" " + W(package.record.name));
        break;
      case drivers::AddOutcome::Failed:
        refusedPackage = true;
        Refuse(console, path + " > " + package.found, Translate(L"Drivers Cannot Write") + L" " + W(error));
        break;
    }
  }
  return packages;
}

}  // namespace

int AddDriverPaths(drivers::DriverLibrary& library, const std::vector<std::string>& paths, bool sample,
                   bool allowUnsigned, Console& console) {
  // Interruptions are requests, taken between packages; the unpacking
  // folder goes with its path. Folders of runs that died are swept first.
  std::atomic<bool> stop{false};
  const platform::SignalWatcher watcher([&stop](int) { stop = true; });
  drivers::SweepStaleFolders(kTempParent, kTempPrefix);
  AddOptions options{sample, allowUnsigned, {}, &stop};
  std::string unreadable;
  if (!drivers::CurrentTrustedRoots(options.roots, unreadable)) {
    console.Complain(Translate(L"Drivers Roots Unreadable") + L" " + W(unreadable));
    return kExitFailure;
  }
  int code = kExitSuccess;
  for (const auto& path : paths) {
    bool refusedPackage = false;
    if (AddOne(library, path, options, console, refusedPackage) == 0 || refusedPackage) code = kExitFailure;
    if (options.Stopped()) {
      console.Complain(Translate(L"Drivers Interrupted"));
      return kExitCancelled;
    }
  }
  return code;
}
