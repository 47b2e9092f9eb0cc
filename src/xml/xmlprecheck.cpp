#include "src/xml/xmlprecheck.h"

namespace gs {

bool FitsSettingsLimits(std::string_view text) {
  if (text.size() > kMaxSettingsFileBytes) return false;
  int depth = 0;
  bool inStartTag = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '<' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == '/') {
        if (depth > 0) --depth;
      } else if (next != '!' && next != '?') {
        inStartTag = true;
        if (++depth > kMaxElementNesting) return false;
      }
    } else if (c == '>' && inStartTag) {
      inStartTag = false;
      if (i > 0 && text[i - 1] == '/' && depth > 0) --depth;  // <empty/>
    }
  }
  return true;
}

}  // namespace gs
