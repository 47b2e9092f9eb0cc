// The unprivileged side of the race tests, run through setpriv as another
// user: watches a file with inotify, says "ready" on stdout, and at the
// first open or read of the file (root copying it) changes the tree:
//   racer WATCHED link PATH TARGET   PATH moved aside, a link to TARGET put there
//   racer WATCHED fifo PATH          PATH moved aside, a FIFO put there
//   racer WATCHED grow PATH BYTES    PATH made BYTES long (sparse)
// Ends 0 once it acted, 1 on any failure.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 4) return 1;
  const std::string action = argv[2], path = argv[3];
  const int watch = inotify_init1(IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, argv[1], IN_OPEN | IN_ACCESS) < 0) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  alignas(inotify_event) char events[4096];
  if (read(watch, events, sizeof events) <= 0) return 1;
  const std::string aside = path + ".old";
  if (action == "link" && argc == 5) return rename(path.c_str(), aside.c_str()) || symlink(argv[4], path.c_str());
  if (action == "fifo") return rename(path.c_str(), aside.c_str()) || mkfifo(path.c_str(), 0644);
  if (action == "grow" && argc == 5) return truncate(path.c_str(), std::strtoll(argv[4], nullptr, 10)) != 0;
  return 1;
}
