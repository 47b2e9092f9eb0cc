#include "benchrun.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

Run Measure(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  Run run;
  std::fflush(stdout);  // the child must not print what is still buffered here
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    if (std::FILE* null = std::freopen("/dev/null", "w", stdout)) (void)null;
    ::execvp(argv[0], argv.data());
    std::_Exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) < 0) return run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakKiB = usage.ru_maxrss;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::uintmax_t TreeBytes(const fs::path& root) {
  std::uintmax_t total = 0;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(root, ec))
    if (e.is_regular_file()) total += e.file_size();
  return total;
}

WorkFolder::WorkFolder(const fs::path& parent, const std::string& prefix) {
  std::string tmpl = (parent / (prefix + "XXXXXX")).string();
  if (::mkdtemp(tmpl.data())) path_ = tmpl;
}

WorkFolder::~WorkFolder() {
  std::error_code ec;
  if (path_.empty()) return;
  for (const auto& e : fs::recursive_directory_iterator(path_, ec))
    fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}
