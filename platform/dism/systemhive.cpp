#include "platform/dism/systemhive.h"

#include <hivex.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform::dism {

namespace {

void AppendUtf16(std::string& out, const std::wstring& text) {
  auto unit = [&](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8 & 0xFF);
  };
  for (wchar_t c : text) {
    auto code = static_cast<std::uint32_t>(c);
    if (code >= 0x10000) {
      code -= 0x10000;
      unit(0xD800 | code >> 10);
      unit(0xDC00 | (code & 0x3FF));
    } else {
      unit(code);
    }
  }
  unit(0);
}

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace

RegData RegData::String(const std::wstring& text, std::uint32_t type) {
  RegData d{type, {}};
  AppendUtf16(d.bytes, text);
  return d;
}

RegData RegData::Dword(std::uint32_t value) {
  RegData d{kRegDword, {}};
  for (int i = 0; i < 4; ++i) d.bytes += static_cast<char>(value >> (8 * i) & 0xFF);
  return d;
}

RegData RegData::MultiString(const std::vector<std::wstring>& texts) {
  RegData d{kRegMultiSz, {}};
  for (const auto& t : texts) AppendUtf16(d.bytes, t);
  d.bytes += std::string(2, '\0');
  return d;
}

SystemHive::~SystemHive() {
  if (hive_) hivex_close(hive_);
}

int SystemHive::Open(const std::string& host) {
  if (hive_) hivex_close(hive_);
  changed_ = false;
  errno = 0;
  hive_ = hivex_open(host.c_str(), HIVEX_OPEN_WRITE);
  if (!hive_) return errno ? errno : EINVAL;
  return 0;
}

std::string SystemHive::CurrentControlSet() {
  constexpr std::uint32_t kMaxControlSet = 999;
  Node select = Key("Select", false);
  if (!select) return {};
  hive_value_h value = hivex_node_get_value(hive_, select, "Current");
  if (!value) return {};
  hive_type type{};
  size_t len = 0;
  if (hivex_value_type(hive_, value, &type, &len) != 0 || type != hive_t_REG_DWORD || len != 4) return {};
  auto current = static_cast<std::uint32_t>(hivex_value_dword(hive_, value));
  if (current == 0 || current > kMaxControlSet) return {};
  char name[16];
  std::snprintf(name, sizeof name, "ControlSet%03u", current);
  return Key(name, false) ? name : std::string();
}

SystemHive::Node SystemHive::Key(const std::string& path, bool create) {
  if (!hive_) return 0;
  Node node = hivex_root(hive_);
  size_t start = 0;
  while (node && start < path.size()) {
    size_t end = path.find('\\', start);
    std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? path.size() : end + 1;
    if (part.empty()) continue;
    errno = 0;
    Node child = hivex_node_get_child(hive_, node, part.c_str());
    if (!child && errno) return 0;
    if (!child && create) {
      child = hivex_node_add_child(hive_, node, part.c_str());
      if (child) changed_ = true;
    }
    node = child;
  }
  return node;
}

bool SystemHive::Set(Node key, const std::string& name, const RegData& data, bool keepExisting) {
  if (!hive_ || !key) return false;
  errno = 0;
  if (hive_value_h existing = hivex_node_get_value(hive_, key, name.c_str())) {
    if (keepExisting) return true;
    hive_type type{};
    size_t len = 0;
    std::unique_ptr<char, FreeDeleter> bytes(hivex_value_value(hive_, existing, &type, &len));
    if (bytes && static_cast<std::uint32_t>(type) == data.type && len == data.bytes.size() &&
        std::memcmp(bytes.get(), data.bytes.data(), len) == 0)
      return true;
  } else if (errno) {
    return false;
  }
  hive_set_value value{};
  value.key = const_cast<char*>(name.c_str());
  value.t = static_cast<hive_type>(data.type);
  value.len = data.bytes.size();
  value.value = const_cast<char*>(data.bytes.data());
  if (hivex_node_set_value(hive_, key, &value, 0) != 0) return false;
  changed_ = true;
  return true;
}

int SystemHive::Commit(const std::string& host) {
  if (!hive_) return EBADF;
  errno = 0;
  if (hivex_commit(hive_, host.c_str(), 0) != 0) return errno ? errno : EIO;
  changed_ = false;
  return 0;
}

}  // namespace platform::dism
