#pragma once
// The roots a driver's signature must lead to for Windows to load it: names
// kept as data, one a line, in the form `openssl x509 -noout -subject
// -nameopt RFC2253` prints them ("CN=...,O=...,C=US"); '#' starts a comment.
// The program's list (drivers/trusted-roots in the program folder) holds
// Windows' own code-signing roots. A machine whose profile names a library
// of its own may add roots with `[drivers] roots = file` (relative to the
// profile): test machines and the sample machine add their test root there.
//
// Only names are compared: the catalog usually does not carry the root
// itself, and the program holds no copy of Windows' root keys. This is a
// forecast of what Windows will accept, not a trust decision of ours.

#include <string>
#include <string_view>
#include <vector>

namespace drivers {

class TrustedRoots {
 public:
  // The names of text in the format above (blank lines and comments skipped).
  static TrustedRoots Parse(std::string_view text);
  void Add(const TrustedRoots& more);
  // Whether a name (RFC 2253 form) is one of the roots; case is ignored.
  bool Accepts(std::string_view name) const;
  const std::vector<std::string>& Names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

// The program's list plus the current machine's own; a list that cannot be
// read adds nothing (so nothing is signed for Windows).
TrustedRoots CurrentTrustedRoots();

}  // namespace drivers
