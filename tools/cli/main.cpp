// kestrunex-cli: runs one job (a DVD to an ISO image, or to a USB disk)
// without windows. See `kestrunex-cli --help`.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/cli/cli.h"

int main(int argc, char** argv) {
  return RunCli(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr, stdin);
}
