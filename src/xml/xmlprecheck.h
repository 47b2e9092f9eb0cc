#pragma once
// A look at a settings file before it goes to the XML parser. The parser
// descends recursively, one level per nested element, and reads past the
// end of its buffer on some truncated or malformed multi-byte input; this
// check stands in front of it so that neither can happen.
//
// The text is read the way the parser reads it (comments to "-->", CDATA
// to "]]>", declarations with their quoted values, other "<!" and "<?"
// constructs to the first '>', quoted attribute values, elements), so
// nothing that is not markup counts as markup and no markup hides inside
// something the parser would read as markup. Anything the parser would
// stop at with an error, and anything unterminated, is refused here.
// Where the parser reads UTF-8 (a byte-order mark, or a leading declaration
// naming UTF-8 or no encoding, or none at all) the text must be valid
// UTF-8, so no multi-byte sequence can swallow a delimiter.

#include <cstddef>
#include <string>
#include <string_view>

namespace gs {

inline constexpr std::size_t kMaxSettingsFileBytes = 1024 * 1024;
inline constexpr int kMaxElementNesting = 256;
// The parser looks up every attribute among the element's earlier ones, so
// its time grows with the square of their number; a settings element has one.
inline constexpr int kMaxElementAttributes = 64;

// True when the text is small enough, well formed in the parser's terms,
// its elements nest at most kMaxElementNesting deep, by any construction,
// and none has more than kMaxElementAttributes attributes. The parser stops at the first NUL byte; so does the check.
bool FitsSettingsLimits(std::string_view text);

// The buffer handed to the parser: the text up to its first NUL, with line
// ends normalised as the parser's file loader does, followed by enough NUL
// bytes that no look-ahead of the parser can leave the buffer.
std::string ParserBuffer(std::string_view text);

}  // namespace gs
