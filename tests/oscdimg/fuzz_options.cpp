// The tool's command line: arguments separated by newlines (the process
// service has split them), fed to the parser. Whatever it accepts must be a
// usable line: a source and a target, at most two boot entries in the
// system's order, a label within its limit.
#include <sstream>

#include "kxfuzz.h"
#include "tools/oscdimg/options.h"

KX_FUZZ_TARGET {
  std::vector<std::string> args;
  std::istringstream lines(kxfuzz::Bytes(data, size));
  for (std::string line; std::getline(lines, line);) args.push_back(line);
  oscdimg::Options options;
  std::string error;
  if (oscdimg::ParseOptions(args, &options, &error)) {
    if (options.help) return 0;
    KX_FUZZ_CHECK(!options.source.empty() && !options.target.empty());
    KX_FUZZ_CHECK(options.label.size() <= oscdimg::kMaxLabel);
    KX_FUZZ_CHECK(options.boot.size() <= 2);
    if (!options.boot.empty()) KX_FUZZ_CHECK(options.boot[0].platformId == 0x00);
    if (options.boot.size() == 2) KX_FUZZ_CHECK(options.boot[1].platformId == 0xEF);
    for (const auto& b : options.boot) KX_FUZZ_CHECK(!b.file.empty());
  } else {
    KX_FUZZ_CHECK(!error.empty());
  }
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back(
      "-lWIN7\n-m\n-o\n-u1\n-udfver102\n"
      "-bootdata:2#p0,e,bZ:\\prog\\Oscdimg_amd64\\Oscdimg\\etfsboot.com#pEF,e,bZ:\\prog\\Oscdimg_amd64\\Oscdimg\\efisys.bin\n"
      "D:\\OvantaToolTmp0\\\nE:\\Out\\LABEL.iso\n");
  seeds.push_back("-lWIN7\n-bootdata:1#p0,e,b\"C:\\x#y\\etfsboot.com\"\nsrc\nout.iso\n");
}
