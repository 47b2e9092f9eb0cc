// Registry hives read from images (Windows\System32\config\SYSTEM): opened
// with hivex, the control set looked up, a service written and the hive
// saved, as driver installation does, on damaged variants of the sample
// media's hive.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "kxfuzz.h"
#include "platform/dism/systemhive.h"

namespace {

using platform::dism::RegData;
using platform::dism::SystemHive;

class Scratch {
 public:
  Scratch() {
    char folder[] = "/tmp/kx-fuzz-hive-XXXXXX";
    if (::mkdtemp(folder)) folder_ = folder;
  }
  ~Scratch() {
    std::remove(In().c_str());
    std::remove(Out().c_str());
    ::rmdir(folder_.c_str());
  }
  std::string In() const { return folder_ + "/in"; }
  std::string Out() const { return folder_ + "/out"; }

 private:
  std::string folder_;
};

}  // namespace

KX_FUZZ_TARGET {
  static Scratch scratch;
  std::ofstream(scratch.In(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  SystemHive hive;
  if (hive.Open(scratch.In()) != 0) return 0;
  const std::string controlSet = hive.CurrentControlSet();
  if (controlSet.empty()) return 0;
  KX_FUZZ_CHECK(controlSet.rfind("ControlSet", 0) == 0);
  SystemHive::Node key = hive.Key(controlSet + "\\Services\\kxfuzz", true);
  if (key && hive.Set(key, "Start", RegData::Dword(3)) && hive.Set(key, "ImagePath", RegData::String(L"x.sys", 2)))
    static_cast<void>(hive.Commit(scratch.Out()));  // a refused commit is an answer too; crashes are not
  return 0;
}

KX_FUZZ_SEEDS {
  const std::string file = "/tmp/kx-fuzz-hive-seed-" + std::to_string(::getpid());
  for (const char* options : {"", "--control-set 2 ", "--empty "}) {
    const std::string command = "'" KX_SOURCE_DIR "/scripts/make-system-hive' " + std::string(options) + file;
    if (std::system(command.c_str()) != 0) continue;
    std::ifstream in(file, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::remove(file.c_str());
}
