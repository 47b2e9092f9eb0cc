#include "tools/oscdimg/options.h"

#include <cstdlib>
#include <string_view>

namespace oscdimg {
namespace {

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

// A path may still carry the quotes of the command line (when the caller
// did not split it by the system's rule): they are not part of the name.
std::string Unquote(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '"') out += c;
  return out;
}

// Splits on '#' outside double quotes, so a quoted boot file may hold one.
std::vector<std::string_view> SplitOutsideQuotes(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    else if (text[i] == separator && !quoted) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

bool ParseBootEntry(std::string_view entry, BootEntry* boot, std::string* error) {
  // Fields are separated by commas; the boot file is the last field and is
  // taken whole (a path may contain commas).
  bool noEmulation = false, havePlatform = false, haveFile = false;
  while (!entry.empty()) {
    const char kind = entry.front();
    if (kind == 'b' || kind == 'B') {
      boot->file = Unquote(entry.substr(1));
      haveFile = !boot->file.empty();
      break;
    }
    const std::size_t comma = entry.find(',');
    const std::string_view field = entry.substr(0, comma);
    entry = comma == std::string_view::npos ? std::string_view() : entry.substr(comma + 1);
    if ((kind == 'p' || kind == 'P') && field.size() >= 2 && field.size() <= 3) {
      const std::string hex(field.substr(1));
      char* end = nullptr;
      const unsigned long id = std::strtoul(hex.c_str(), &end, 16);
      if (*end != '\0' || id > 0xFF) return Fail(error, "invalid platform id in -bootdata: " + std::string(field));
      boot->platformId = static_cast<std::uint8_t>(id);
      havePlatform = true;
    } else if ((kind == 'e' || kind == 'E') && field.size() == 1) {
      noEmulation = true;
    } else {
      return Fail(error, "unsupported -bootdata field: " + std::string(field));
    }
  }
  if (!havePlatform) return Fail(error, "a -bootdata entry needs a platform id (p0 or pEF)");
  if (!noEmulation) return Fail(error, "only no-emulation boot entries (e) are supported");
  if (!haveFile) return Fail(error, "a -bootdata entry needs a boot file (b<file>)");
  return true;
}

bool ParseBootData(std::string_view value, Options* options, std::string* error) {
  std::vector<std::string_view> parts = SplitOutsideQuotes(value, '#');
  const std::string_view count = parts.front();
  if (count != "1" && count != "2") return Fail(error, "-bootdata takes 1 or 2 entries, not '" + std::string(count) + "'");
  const std::size_t entries = count == "1" ? 1 : 2;
  if (parts.size() - 1 != entries)
    return Fail(error, "-bootdata:" + std::string(count) + " needs exactly " + std::string(count) + " entries");
  options->boot.clear();
  for (std::size_t i = 1; i < parts.size(); ++i) {
    BootEntry boot;
    if (!ParseBootEntry(parts[i], &boot, error)) return false;
    options->boot.push_back(boot);
  }
  if (options->boot.front().platformId != 0x00)
    return Fail(error, "the first -bootdata entry must be the BIOS entry (p0)");
  if (entries == 2 && options->boot[1].platformId != 0xEF)
    return Fail(error, "the second -bootdata entry must be the UEFI entry (pEF)");
  return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  *options = Options();
  std::vector<std::string> positional;
  for (const std::string& arg : args) {
    const std::string_view a = arg;
    if (a == "--help" || a == "-h" || a == "-?" || a == "/?") {
      options->help = true;
      return true;
    }
    if (a.size() > 1 && a.front() == '-') {
      if (a.substr(0, 2) == "-l") {
        options->label = Unquote(a.substr(2));
        if (options->label.empty()) return Fail(error, "-l needs a label, as in -lWIN7");
        if (options->label.size() > kMaxLabel)
          return Fail(error, "the volume label '" + options->label + "' is longer than 32 characters");
      } else if (a == "-m") {
        options->ignoreSizeLimit = true;
      } else if (a == "-o") {
        options->storeDuplicatesOnce = true;
      } else if (a == "-u1") {
        options->udf = true;
      } else if (a == "-udfver102") {
        options->udf102 = true;
      } else if (a.substr(0, 10) == "-bootdata:") {
        if (!ParseBootData(a.substr(10), options, error)) return false;
      } else {
        return Fail(error, "unknown option " + arg + " (see --help)");
      }
      continue;
    }
    positional.push_back(Unquote(a));
  }
  if (positional.size() < 2) return Fail(error, "give a source folder and a target file (see --help)");
  if (positional.size() > 2) return Fail(error, "unexpected argument " + positional[2] + " (see --help)");
  if (positional[0].empty() || positional[1].empty()) return Fail(error, "the source folder and the target file must not be empty");
  options->source = positional[0];
  options->target = positional[1];
  return true;
}

}  // namespace oscdimg
