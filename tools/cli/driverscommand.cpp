#include "tools/cli/driverscommand.h"

#include <atomic>
#include <filesystem>
#include <memory>

#include "config/ovmultilangdll.h"
#include "drivers/driverlibrary.h"
#include "drivers/libraryplace.h"
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

int List(const drivers::DriverLibrary& library, Console& console) {
  console.Say(Translate(L"Drivers Library") + L" " + W(library.Place().folder));
  const auto records = library.List();
  if (records.empty()) console.Say(Translate(L"Drivers Empty"));
  for (const auto& r : records) {
    console.Say(W(r.name + "  " + r.provider + "  " + r.cls + "  " + r.version + "  " + r.date + "  " + r.ArchText()) +
                L"  " +
                Translate(r.kind == drivers::PackageKind::Storage ? L"Drivers Kind Storage" : L"Drivers Kind Usb") +
                (r.sample ? L"  (" + Translate(L"Drivers Sample") + L")" : L""));
    console.Say(L"    " + Translate(L"Drivers From") + L" " + W(r.origin) + L", " + Translate(L"Drivers Added On") +
                L" " + W(r.added) + L", " + std::to_wstring(r.hardwareIds.size()) + L" " +
                Translate(L"Drivers Ids"));
    console.Say(L"    " + SignatureStateText(r));
    for (const auto& f : r.findings) console.Say(L"    " + FindingLineText(f));
  }
  return kExitSuccess;
}

int Remove(drivers::DriverLibrary& library, const std::vector<std::string>& names, Console& console) {
  // Interruptions are requests, taken between packages (each removal is
  // whole: the library renames the package away first).
  std::atomic<bool> stop{false};
  const platform::SignalWatcher watcher([&stop](int) { stop = true; });
  int code = kExitSuccess;
  for (const auto& name : names) {
    if (stop) {
      console.Complain(Translate(L"Drivers Interrupted"));
      return kExitCancelled;
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
  if (verb == "--help" || verb == "-h") {
    console.Say(Translate(L"Drivers Help") + L"\n\n" + Translate(L"Drivers Check Help"));
    return kExitSuccess;
  }
  const bool checkArgs = operands.empty() || (operands.size() == 2 && operands[0] == "--lspci" && !operands[1].empty());
  const bool knownVerb = verb == "list" || ((verb == "add" || verb == "remove") && !operands.empty()) ||
                         (verb == "check" && checkArgs);
  if (!knownVerb || (verb == "list" && !operands.empty())) {
    console.Complain(Translate(L"Cli Bad Option") + L" drivers " + W(verb));
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
