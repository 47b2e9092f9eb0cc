#pragma once
// Runs a tool of the host system (msiextract) by its absolute path through
// platform/process/hostprogram.h: a clean environment, /dev/null as input,
// output and error captured up to 1 MiB, no descriptor of ours, killed when
// the calling thread ends, and files it writes capped at maxFileBytes. The
// exit status, or -1 when it could not be started (not an absolute path to
// a root-owned program among them) or ended by a signal.

#include <cstdint>
#include <string>
#include <vector>

namespace drivers {

int RunHostTool(const std::string& program, const std::vector<std::string>& args, std::string& output,
                std::uint64_t maxFileBytes);

}  // namespace drivers
