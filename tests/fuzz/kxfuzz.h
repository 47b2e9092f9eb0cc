#pragma once
// What a fuzz harness defines (see kx_fuzz.cmake):
//
//   KX_FUZZ_TARGET {           // data, size: one input
//     ... feed it to the reader; return 0 ...
//   }
//   KX_FUZZ_SEEDS {            // seeds: a std::vector<std::string>&
//     seeds.push_back(...);    // well-formed inputs made by code
//   }
//
// A harness must not leak, abort or hang on any input; it may assert what
// must hold for every input (KX_FUZZ_CHECK), which ends the run with the
// input that broke it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define KX_FUZZ_TARGET extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#define KX_FUZZ_SEEDS void KxFuzzSeeds(std::vector<std::string>& seeds)

void KxFuzzSeeds(std::vector<std::string>& seeds);

#define KX_FUZZ_CHECK(condition)                                                      \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

namespace kxfuzz {

// The input as a string (the readers take bytes).
inline std::string Bytes(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// Damaged variants of one good input, the same on every run: cuts at many
// lengths, single bytes flipped, zeroed or replaced by markup characters,
// chunks repeated. At most about `budget` of them; another salt gives
// other damage.
std::vector<std::string> Damaged(const std::string& seed, std::size_t budget = 160, std::uint64_t salt = 0);

}  // namespace kxfuzz
