// Our oscdimg: a thin main over the oscdimg library.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/oscdimg/options.h"
#include "tools/oscdimg/tool.h"

int main(int argc, char** argv) {
  // Write failures come back as errors (and the image is removed) instead
  // of ending the process: a closed pipe, a file-size limit.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);

  const std::vector<std::string> args(argv + 1, argv + argc);
  oscdimg::Options options;
  std::string error;
  if (!oscdimg::ParseOptions(args, &options, &error)) {
    std::fprintf(stderr, "oscdimg: error: %s\n", error.c_str());
    return oscdimg::kExitUsage;
  }
  if (options.help) {
    std::fputs(oscdimg::UsageText(), stdout);
    return oscdimg::kExitSuccess;
  }
  return oscdimg::RunTool(options, oscdimg::CompleteLines(stdout), stderr);
}
