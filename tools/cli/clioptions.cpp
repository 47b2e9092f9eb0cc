#include "tools/cli/clioptions.h"

#include <cwctype>

#include "config/ovmultilangdll.h"
#include "platform/text.h"
#include "platform/windows/window.h"

int CliOptions::Mode() const { return usbRoot.empty() ? 1 : 0; }

std::wstring NormaliseDriveRoot(const std::wstring& text) {
  if ((text.size() == 2 || (text.size() == 3 && (text[2] == L'\\' || text[2] == L'/'))) && text[1] == L':' &&
      std::iswalpha(text[0]))
    return std::wstring(1, platform::UpperCase(text.substr(0, 1))[0]) + L":\\";
  return text;
}

namespace {
// A usage error, whole in the user's language, naming the argument.
std::string UsageError(const wchar_t* key, const std::string& argument) {
  std::wstring text = Translate(key);
  if (!argument.empty()) text += L" " + platform::WideFromAnsi(argument);
  return platform::AnsiFromWide(text);
}
}  // namespace

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = UsageError(L"Cli Needs Value", a);
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string text;
    if (a == "--help" || a == "-h") options.help = true;
    else if (a == "--version") options.version = true;
    else if (a == "--compat") options.compatible = true;
    else if (a == "--no-verify") options.verify = false;
    else if (a == "--yes" || a == "-y") options.answer = platform::IDYES;
    else if (a == "--no" || a == "-n") options.answer = platform::IDNO;
    else if (a == "--prefix") {
      if (!value(options.prefix)) return false;
    } else if (a == "--source") {
      if (!value(text)) return false;
      options.source = NormaliseDriveRoot(platform::WideFromAnsi(text));
    } else if (a == "--iso") {
      if (!value(text)) return false;
      options.isoFolder = platform::WideFromAnsi(text);
    } else if (a == "--usb") {
      if (!value(text)) return false;
      options.usbRoot = NormaliseDriveRoot(platform::WideFromAnsi(text));
    } else {
      error = UsageError(L"Cli Unknown Option", a);
      return false;
    }
  }
  if (options.help || options.version) return true;
  if (options.isoFolder.empty() == options.usbRoot.empty()) {
    error = UsageError(L"Cli One Target", {});
    return false;
  }
  return true;
}
