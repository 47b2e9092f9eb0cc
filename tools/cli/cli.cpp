#include "tools/cli/cli.h"

#include <fstream>
#include <memory>
#include <optional>

#include "config/ovmultilangdll.h"
#include "platform/admin.h"
#include "platform/machine/machine.h"
#include "platform/process/process.h"
#include "platform/text.h"
#include "tools/cli/clifolders.h"
#include "tools/cli/driverscommand.h"
#include "tools/cli/headlessjob.h"
#include "tools/cli/terminalboxes.h"

namespace {

// "4711 (kestrunex)": the process and its program name.
std::wstring HolderText(int pid) {
  std::string name;
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::getline(comm, name);
  return std::to_wstring(pid) + (name.empty() ? L"" : L" (" + platform::PrintableText(platform::WideFromAnsi(name)) + L")");
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  Console console(out, err, in);
  if (IsDriversCommand(args)) return RunDriversCommand(args, console);
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(args, options, error)) {
    console.Complain(Translate(L"Cli Bad Option") + L" " + platform::WideFromAnsi(error));
    console.Complain(Translate(L"Cli See Help"));
    return kExitFailure;
  }
  if (options.help) {
    // One write: a reader that stops at the first line it wants (grep -q)
    // must not cut the help off halfway.
    console.Say(Translate(L"Cli Help") + L"\n\n" + Translate(L"Drivers Help") + L"\n\n" + Translate(L"Drivers Check Help"));
    return kExitSuccess;
  }
  if (options.version) {
    console.Say(L"kestrunex-cli " + platform::WideFromAnsi(KX_VERSION));
    return kExitSuccess;
  }

  // Raw disks, formatting and mounts need root: say so before anything is
  // touched (the lock and the data folder included) rather than fail halfway.
  if (options.Mode() == 0 && !platform::IsUserAnAdmin()) {
    console.Complain(Translate(L"Cli Usb Needs Root"));
    return kExitFailure;
  }

  if (!AnchorArgumentsAndEnterProgramFolder(options)) {
    console.Complain(Translate(L"Cli No Program Folder"));
    return kExitFailure;
  }
  // A prefix someone else can write would let them steer the job: refused,
  // as a missing one is (never made here).
  if (std::string reason; !CheckPrefix(options, &reason)) {
    console.Complain(Translate(L"Cli Prefix Refused") + L" " + platform::WideFromAnsi(reason));
    return kExitFailure;
  }
  std::unique_ptr<platform::ScopedMachine> machine;
  if (!options.prefix.empty()) {
    // The tools this job starts are given the same prefix, so they see the
    // same drives.
    try {
      machine = std::make_unique<platform::ScopedMachine>(platform::Machine::ForPrefix(options.prefix));
    } catch (const platform::ProfileError& e) {
      console.Complain(Translate(L"Cli Profile Error") + L" " + platform::WideFromAnsi(e.what()));
      return kExitFailure;
    }
  }
  // The wizard's lock: both use the same data and work folders.
  platform::NamedMutex single(L"KESTRUNE");
  if (!single.Owned()) {
    console.Complain(Translate(L"Cli Busy"));
    if (single.Holder() > 0) console.Complain(Translate(L"Cli Busy Holder") + L" " + HolderText(single.Holder()));
    return kExitFailure;
  }
  TerminalBoxes boxes(console, options.answer);
  return HeadlessJob(options, console).Run();
}
