#include "tools/cli/cli.h"

#include <memory>
#include <optional>

#include "config/ovmultilangdll.h"
#include "platform/machine.h"
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

  std::unique_ptr<platform::ScopedMachine> machine;
  if (!options.profile.empty()) {
    try {
      machine = std::make_unique<platform::ScopedMachine>(
          platform::Machine::FromProfile(options.profile, platform::DefaultPrefix()));
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
