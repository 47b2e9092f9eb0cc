#include <algorithm>

#include "kxfuzz.h"

namespace kxfuzz {

namespace {

// A small deterministic generator: the same damage on every machine.
struct XorShift {
  std::uint64_t state;
  std::uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }
};

// Bytes that mean something to the readers we feed: markup, separators,
// multi-byte leads, NUL, huge lengths in binary headers.
constexpr unsigned char kTelling[] = {0x00, 0xFF, 0x7F, 0x80, 0xC3, 0xE2, 0xF0, 0xF4, '<', '>', '/', '!', '?',
                                      '[',  ']',  '=',  ';',  '"',  '\'', '\n', '\r', '&', '-', '\\', ':'};

}  // namespace

std::vector<std::string> Damaged(const std::string& seed, std::size_t budget, std::uint64_t salt) {
  std::vector<std::string> out;
  XorShift rng{(0x9E3779B97F4A7C15ull ^ seed.size()) + salt * 0x2545F4914F6CDD1Dull};
  const std::size_t n = seed.size();
  // Cuts: every length for short inputs, spread lengths and the last bytes
  // for long ones (truncated files are the commonest damage).
  if (n <= 64) {
    for (std::size_t k = 0; k < n; ++k) out.push_back(seed.substr(0, k));
  } else {
    for (std::size_t k = 0; k < 32; ++k) out.push_back(seed.substr(0, n * k / 32));
    for (std::size_t k = 1; k <= 8; ++k) out.push_back(seed.substr(0, n - k));
  }
  if (n == 0) return out;
  while (out.size() < budget) {
    std::string s = seed;
    const int edits = 1 + static_cast<int>(rng.Below(4));
    for (int e = 0; e < edits && !s.empty(); ++e) {
      const std::size_t at = rng.Below(s.size());
      switch (rng.Below(5)) {
        case 0: s[at] = static_cast<char>(s[at] ^ (1u << rng.Below(8))); break;
        case 1: s[at] = static_cast<char>(kTelling[rng.Below(sizeof kTelling)]); break;
        case 2: s[at] = static_cast<char>(rng.Next()); break;
        case 3: {  // repeat a chunk, which deepens nesting and multiplies sections
          const std::size_t len = 1 + rng.Below(std::min<std::size_t>(64, s.size() - at));
          const std::string chunk = s.substr(at, len);
          std::string repeated;
          for (std::size_t r = 0, times = 2 + rng.Below(300); r < times; ++r) repeated += chunk;
          s.insert(at, repeated);
          break;
        }
        default: s.erase(at, 1 + rng.Below(std::min<std::size_t>(16, s.size() - at))); break;
      }
    }
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace kxfuzz
