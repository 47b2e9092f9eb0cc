#include "drivers/hosttool.h"

#include "platform/process/hostprogram.h"

namespace drivers {

int RunHostTool(const std::string& program, const std::vector<std::string>& args, std::string& output,
                std::uint64_t maxFileBytes) {
  platform::HostProgram run;
  run.path = program;
  run.args = args;
  run.maxFileBytes = maxFileBytes;
  platform::HostProgramResult result = platform::RunHostProgram(run);
  output = std::move(result.output);
  if (!result.started) return -1;
  constexpr int kFirstSignalStatus = 128;
  return result.exitCode >= kFirstSignalStatus ? -1 : result.exitCode;
}

}  // namespace drivers
