#include "toolrun.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "testmachine.h"

namespace fs = std::filesystem;

namespace oscdimgtest {

Result Shell(const std::string& command) {
  kxtest::TempDir dir;
  const fs::path out = dir.path() / "out", err = dir.path() / "err";
  const std::string line = "(" + command + ") >" + Quote(out.string()) + " 2>" + Quote(err.string());
  const int status = std::system(line.c_str());
  Result r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = ReadAll(out);
  r.err = ReadAll(err);
  return r;
}

std::string Quote(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ToolPath() { return std::string(KX_PROGRAM_DIR) + "/Oscdimg_x86/Oscdimg/oscdimg.exe"; }
std::string BootFile(const char* name) { return std::string(KX_PROGRAM_DIR) + "/Oscdimg_amd64/Oscdimg/" + name; }
std::string SourceDir() { return KX_SOURCE_DIR; }
std::string StandinsDir() { return KX_STANDINS_DIR; }

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& file, const std::string& data) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << data;
}

std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    files[rel] = e.is_directory() ? std::string("<dir>") : ReadAll(e.path());
  }
  return files;
}

}  // namespace oscdimgtest
