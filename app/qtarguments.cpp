#include "app/qtarguments.h"

#include <algorithm>

namespace {

constexpr char kPlatformOption[] = "-platform";
constexpr char kX11Platform[] = "xcb";
constexpr char kOffscreenPlatform[] = "offscreen";

}  // namespace

std::vector<std::string> QtArguments(const std::vector<std::string>& args, const char* platformVariable,
                                     bool administrator) {
  if (!administrator) return args;
  bool offscreen = platformVariable && std::string(platformVariable) == kOffscreenPlatform;
  for (std::size_t i = 1; i + 1 < args.size(); ++i)
    if (args[i] == kPlatformOption) offscreen = args[i + 1] == kOffscreenPlatform;
  return {args.empty() ? std::string("kestrunex") : args[0], kPlatformOption,
          offscreen ? kOffscreenPlatform : kX11Platform};
}

bool AsksAdminStartFailedNote(const std::vector<std::string>& args, bool administrator) {
  return !administrator && std::find(args.begin() + (args.empty() ? 0 : 1), args.end(), kAdminStartFailedOption) !=
                               args.end();
}
