#pragma once
// A cheap look at a settings file before it goes to the XML parser. The
// parser descends recursively, so a file of thousands of nested elements
// would exhaust the stack; no settings file comes near these limits.

#include <cstddef>
#include <string_view>

namespace gs {

inline constexpr std::size_t kMaxSettingsFileBytes = 1024 * 1024;
inline constexpr int kMaxElementNesting = 256;

// True when the text is small enough and its elements nest at most
// kMaxElementNesting deep. Counting is lexical and errs on the deep side
// (markup inside comments counts), which only matters near the limit.
bool FitsSettingsLimits(std::string_view text);

}  // namespace gs
