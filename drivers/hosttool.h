#pragma once
// Runs a tool of the host system (msiextract) by its absolute path with a
// clean environment, /dev/null as input, output and error captured up to a
// cap, no descriptor of ours, killed when the calling thread ends
// (PR_SET_PDEATHSIG), and files it writes capped at maxFileBytes
// (RLIMIT_FSIZE). The exit status, or -1 when it could not be started or
// ended by a signal.

#include <cstdint>
#include <string>
#include <vector>

namespace drivers {

int RunHostTool(const std::string& program, const std::vector<std::string>& args, std::string& output,
                std::uint64_t maxFileBytes);

}  // namespace drivers
