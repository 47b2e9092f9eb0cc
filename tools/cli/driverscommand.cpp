#include "tools/cli/driverscommand.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>

#include "config/ovmultilangdll.h"
#include "drivers/driverlibrary.h"
#include "drivers/libraryplace.h"
#include "platform/dism/driverpackage.h"
#include "platform/fs/paths.h"
#include "platform/machine/machine.h"
#include "platform/text.h"
#include "platform/windows/signalwatcher.h"
#include "tools/cli/driversadd.h"
#include "tools/cli/driverscheck.h"
#include "tools/cli/headlessjob.h"
#include "tools/cli/signaturetext.h"

namespace {

// Names and fields from packages, listings and databases: shown, never acted on.
std::wstring W(const std::string& s) { return platform::PrintableText(platform::WideFromAnsi(s)); }

// What the package's INF calls its device: the first model's description
// (the name Windows shows); empty when the stored INF cannot be read.
std::wstring DeviceDescription(const drivers::DriverLibrary& library, const drivers::PackageRecord& r) {
  namespace dism = platform::dism;
  const std::string inf = library.FilesFolder(r.name) + "/" + r.inf;
  dism::DriverPackage package;
  std::wstring message;
  const dism::ImageArch arch = r.Serves("amd64") ? dism::ImageArch::Amd64 : dism::ImageArch::X86;
  if (dism::LoadDriverPackage(platform::SystemPathFromHost(inf), arch, {}, package, message) != platform::S_OK) return {};
  for (const auto& name : package.modelSections)
    if (const auto* section = package.inf.Section(name))
      for (const auto& line : section->lines)
        if (!line.key.empty()) return platform::PrintableText(line.key);
  return {};
}

// "amdxhc_a34ff183" -> "amdxhc": the INF's name without the digest the
// library adds after the last '_'.
std::string BaseName(const std::string& name) {
  const auto cut = name.rfind('_');
  if (cut == std::string::npos || cut == 0 || cut + 1 == name.size()) return name;
  const bool digest = name.find_first_not_of("0123456789abcdef", cut + 1) == std::string::npos;
  return digest ? name.substr(0, cut) : name;
}

int List(const drivers::DriverLibrary& library, Console& console) {
  console.Say(Translate(L"Drivers Library") + L" " + W(library.Place().folder));
  const auto records = library.List();
  if (records.empty()) console.Say(Translate(L"Drivers Empty"));
  for (const auto& r : records) {
    console.Say(W(r.name + "  " + r.provider + "  " + r.cls + "  " + r.version + "  " + r.date + "  " + r.ArchText()) +
                L"  " +
                Translate(r.kind == drivers::PackageKind::Storage ? L"Drivers Kind Storage" : L"Drivers Kind Usb") +
                (r.sample ? L"  (" + Translate(L"Drivers Sample") + L")" : L""));
    const std::wstring device = DeviceDescription(library, r);
    console.Say(L"    " + Translate(L"Drivers Device") + L" " + (device.empty() ? L"?" : device) + L", " +
                Translate(L"Drivers Version") + L" " + W(r.version));
    console.Say(L"    " + Translate(L"Drivers From") + L" " + W(r.origin) + L", " + Translate(L"Drivers Added On") +
                L" " + W(r.added) + L", " + std::to_wstring(r.hardwareIds.size()) + L" " +
                Translate(L"Drivers Ids"));
    console.Say(L"    " + SignatureStateText(r));
    for (const auto& f : r.findings) console.Say(L"    " + FindingLineText(f));
  }
  return kExitSuccess;
}

// The package a name given to `remove` stands for: a package's full name,
// or the base name of exactly one package. Never a looser prefix: a
// removal must name what it removes. Empty after saying why not.
std::string ChoosePackage(const std::vector<drivers::PackageRecord>& records, const std::string& given,
                          Console& console) {
  std::vector<std::string> candidates;
  for (const auto& r : records) {
    if (r.name == given) return given;
    if (BaseName(r.name) == given) candidates.push_back(r.name);
  }
  if (candidates.size() == 1) return candidates.front();
  if (candidates.empty()) {
    console.Complain(Translate(L"Drivers Not Found") + L" " + W(given));
  } else {
    console.Complain(Translate(L"Drivers Several") + L" " + W(given));
    for (const auto& name : candidates) console.Complain(L"    " + W(name));
  }
  return {};
}

int Remove(drivers::DriverLibrary& library, const std::vector<std::string>& given, Console& console) {
  // Interruptions are requests, taken between packages (each removal is
  // whole: the library renames the package away first).
  std::atomic<bool> stop{false};
  const platform::SignalWatcher watcher([&stop](int) { stop = true; });
  int code = kExitSuccess;
  const auto records = library.List();
  for (const auto& asked : given) {
    if (stop) {
      console.Complain(Translate(L"Drivers Interrupted"));
      return kExitCancelled;
    }
    const std::string name = ChoosePackage(records, asked, console);
    if (name.empty()) {
      code = kExitFailure;
      continue;
    }
    std::string error;
    if (library.Remove(name, error)) {
      console.Say(Translate(L"Drivers Removed") + L" " + W(name));
    } else {
      console.Complain(Translate(L"Drivers Not Found") + L" " + W(error));
      code = kExitFailure;
    }
  }
  return code;
}

}  // namespace

bool IsDriversCommand(const std::vector<std::string>& args) {
  if (!args.empty() && args[0] == "drivers") return true;
  return args.size() >= 3 && args[0] == "--prefix" && args[2] == "drivers";
}

int RunDriversCommand(const std::vector<std::string>& args, Console& console) {
  size_t at = 0;
  std::unique_ptr<platform::ScopedMachine> machine;
  if (args[0] == "--prefix") {
    try {
      machine = std::make_unique<platform::ScopedMachine>(platform::Machine::ForPrefix(
          std::filesystem::absolute(args[1]).lexically_normal().string()));
    } catch (const platform::ProfileError& e) {
      console.Complain(Translate(L"Cli Profile Error") + L" " + W(e.what()));
      return kExitFailure;
    }
    at = 2;
  }
  const std::vector<std::string> rest(args.begin() + static_cast<long>(at) + 1, args.end());
  const std::string verb = rest.empty() ? "" : rest[0];
  std::vector<std::string> operands(rest.begin() + (rest.empty() ? 0 : 1), rest.end());
  bool sample = false;
  bool allowUnsigned = false;
  while (verb == "add" && !operands.empty() && (operands[0] == "--sample" || operands[0] == "--unsigned")) {
    (operands[0] == "--sample" ? sample : allowUnsigned) = true;
    operands.erase(operands.begin());
  }
  const auto isHelp = [](const std::string& a) { return a == "--help" || a == "-h"; };
  if (isHelp(verb)) {
    console.Say(Translate(L"Drivers Help") + L"\n\n" + Translate(L"Drivers Check Help"));
    return kExitSuccess;
  }
  // Every subcommand's help, wherever --help stands among its operands.
  if (std::any_of(operands.begin(), operands.end(), isHelp) && (verb == "add" || verb == "list" || verb == "remove")) {
    console.Say(Translate(L"Drivers Help"));
    return kExitSuccess;
  }
  if (std::any_of(operands.begin(), operands.end(), isHelp) && verb == "check") {
    console.Say(Translate(L"Drivers Check Help"));
    return kExitSuccess;
  }
  const bool checkArgs = operands.empty() || (operands.size() == 2 && operands[0] == "--lspci" && !operands[1].empty());
  const bool knownVerb = verb == "list" || ((verb == "add" || verb == "remove") && !operands.empty()) ||
                         (verb == "check" && checkArgs);
  if (!knownVerb || (verb == "list" && !operands.empty())) {
    console.Complain(Translate(L"Cli Bad Option") + L" drivers" + (verb.empty() ? L"" : L" " + W(verb)));
    console.Complain(Translate(L"Drivers Help") + L"\n\n" + Translate(L"Drivers Check Help"));
    return kExitFailure;
  }
  drivers::DriverLibrary library(drivers::CurrentLibraryPlace());
  if (verb == "list") return List(library, console);
  if (verb == "check") return CheckDriverCoverage(library, operands.empty() ? "" : operands[1], console);
  std::string error;
  if (!library.MayChange(error)) {
    console.Complain(Translate(L"Drivers Needs Root") + L" " + W(error));
    return kExitFailure;
  }
  if (verb == "remove") return Remove(library, operands, console);
  return AddDriverPaths(library, operands, sample, allowUnsigned, console);
}
