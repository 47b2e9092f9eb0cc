#include "tools/cli/cli.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "config/ovmultilangdll.h"
#include "platform/admin.h"
#include "platform/machine/machine.h"
#include "platform/process/process.h"
#include "platform/text.h"
#include "tools/cli/headlessjob.h"
#include "tools/cli/terminalboxes.h"

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  Console console(out, err, in);
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(args, options, error)) {
    console.Complain(Translate(L"Cli Bad Option") + L" " + platform::WideFromAnsi(error));
    console.Complain(Translate(L"Cli See Help"));
    return kExitFailure;
  }
  if (options.help) {
    console.Say(Translate(L"Cli Help"));
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

  std::unique_ptr<platform::ScopedMachine> machine;
  if (!options.prefix.empty()) {
    // The tools this job starts are given the same prefix, so they see the
    // same drives.
    try {
      machine = std::make_unique<platform::ScopedMachine>(platform::Machine::ForPrefix(
          std::filesystem::absolute(options.prefix).lexically_normal().string()));
    } catch (const platform::ProfileError& e) {
      console.Complain(Translate(L"Cli Profile Error") + L" " + platform::WideFromAnsi(e.what()));
      return kExitFailure;
    }
  }
  // The wizard's lock: both use the same data and work folders.
  platform::NamedMutex single(L"KESTRUNE");
  if (!single.Owned()) {
    console.Complain(Translate(L"Cli Busy"));
    return kExitFailure;
  }
  TerminalBoxes boxes(console, options.answer);
  return HeadlessJob(options, console).Run();
}
