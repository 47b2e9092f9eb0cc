#pragma once
// An offline registry hive (the image's SYSTEM hive) opened for changes with
// hivex. Keys are found without regard to case and made when missing; a
// value is written only when it differs from what the hive holds, so that
// registering the same thing twice leaves the hive as it was and Changed()
// tells whether it needs writing at all.

#include <cstdint>
#include <string>
#include <vector>

struct hive_h;

namespace platform::dism {

// The registry's value types.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// A value as the registry stores it: its type and its bytes (strings in
// UTF-16LE with their terminator).
struct RegData {
  std::uint32_t type = kRegSz;
  std::string bytes;
  static RegData String(const std::wstring& text, std::uint32_t type = kRegSz);
  static RegData Dword(std::uint32_t value);
  static RegData MultiString(const std::vector<std::wstring>& texts);
};

class SystemHive {
 public:
  using Node = std::size_t;  // 0 = none

  SystemHive() = default;
  ~SystemHive();
  SystemHive(const SystemHive&) = delete;
  SystemHive& operator=(const SystemHive&) = delete;

  // Opens the hive file for changes; 0 or an errno value (hivex's reason).
  [[nodiscard]] int Open(const std::string& host);
  // "ControlSet001" for the control set Select\Current names; empty when
  // the hive has no such value or no such key.
  std::string CurrentControlSet();

  // The key at a '\'-separated path below the root, made when missing
  // (create) or 0 when missing. 0 also when hivex fails (errno set).
  Node Key(const std::string& path, bool create);
  // Writes the value unless it holds exactly that already; with keepExisting
  // an existing value of that name is left alone. False when hivex fails.
  [[nodiscard]] bool Set(Node key, const std::string& name, const RegData& data, bool keepExisting = false);
  // Whether a key or value was made or changed since Open.
  bool Changed() const { return changed_; }
  // Writes the hive to host (its own file or another); 0 or an errno value.
  // Changed() is false again after a successful write.
  [[nodiscard]] int Commit(const std::string& host);

 private:
  hive_h* hive_ = nullptr;
  bool changed_ = false;
};

}  // namespace platform::dism
