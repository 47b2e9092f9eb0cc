// Names of parameterised cases: readable, and the same on every build.
// Without a generator GoogleTest numbers the cases and CTest names them by
// the printed value, which for a struct is its raw bytes (padding and
// pointers included), so --rerun-failed and the cost data lose them.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

namespace kxtest {

// Letters and digits stay; every other run of characters becomes one '_',
// none at either end. An empty result is "Empty".
inline std::string CaseName(std::string_view text) {
  std::string name;
  bool gap = false;
  for (unsigned char c : text) {
    if (std::isalnum(c) && c < 0x80) {
      if (gap && !name.empty()) name += '_';
      name += static_cast<char>(c);
      gap = false;
    } else {
      gap = true;
    }
  }
  return name.empty() ? "Empty" : name;
}

// The generator for a table whose rows carry a `name`.
struct ByName {
  template <class Row>
  std::string operator()(const testing::TestParamInfo<Row>& info) const {
    return CaseName(info.param.name);
  }
};

// The generator for a list of texts: the text itself, as a name.
struct ByText {
  template <class Text>
  std::string operator()(const testing::TestParamInfo<Text>& info) const {
    return CaseName(info.param);
  }
};

}  // namespace kxtest
