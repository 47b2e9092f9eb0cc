// A stand-in for the external tools the system runs, driven by a small
// script so tests can make it print, wait, hold the named lock and exit as
// they need. The script is the environment's KX_FAKE_TOOL when set (the
// ISO step gives the tool a fixed command line), else the arguments after
// "--script". Items, separated by '|':
//   out:TEXT   writes TEXT to standard output ("\n" becomes a line break)
//   err:TEXT   the same on standard error
//   fill:N     writes N bytes ('x') to standard output
//   sleep:MS   waits
//   args       writes each argument after the program as "[arg]\n"
//   record:F   writes the arguments the same way into the file F
//   env:NAME   writes the value of the environment variable NAME and "\n"
//   pid:F      writes its process id into the file F
//   orphan:MS  leaves a child behind that keeps the output open for MS
//   lock:NAME  takes the named lock, writes "locked\n" (or "busy\n")
//   signals    writes "group:own" or "group:shared" (its own process group
//              or its parent's) and "blocked:N", the signals it starts with
//              blocked
//   image      creates the file its last argument names (a system path
//              through the machine's drives), as the ISO tool makes its image
//   exit:N     ends with code N
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/paths.h"
#include "platform/process/process.h"
#include "platform/text.h"

namespace {

void Write(int fd, std::string text) {
  for (size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::vector<std::string> Items(const std::string& script) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t bar = script.find('|', start);
    items.push_back(script.substr(start, bar - start));
    if (bar == std::string::npos) return items;
    start = bar + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string script;
  int firstArg = 1;
  if (const char* env = std::getenv("KX_FAKE_TOOL")) {
    script = env;
  } else if (argc >= 3 && std::string(argv[1]) == "--script") {
    script = argv[2];
    firstArg = 3;
  }
  std::string argText;
  for (int i = firstArg; i < argc; ++i) argText += std::string("[") + argv[i] + "]\n";
  std::vector<std::unique_ptr<platform::NamedMutex>> locks;
  for (const std::string& item : Items(script)) {
    const size_t colon = item.find(':');
    const std::string verb = item.substr(0, colon);
    const std::string value = colon == std::string::npos ? std::string() : item.substr(colon + 1);
    if (verb == "out") Write(1, value);
    else if (verb == "err") Write(2, value);
    else if (verb == "fill") Write(1, std::string(static_cast<std::size_t>(std::atoll(value.c_str())), 'x'));
    else if (verb == "sleep") std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value.c_str())));
    else if (verb == "args") Write(1, argText);
    else if (verb == "signals") {
      sigset_t mask;
      sigprocmask(SIG_SETMASK, nullptr, &mask);
      int blocked = 0;
      for (int sig = 1; sig < 32; ++sig) blocked += sigismember(&mask, sig) == 1;
      Write(1, std::string(::getpgrp() == ::getpid() ? "group:own" : "group:shared") + " blocked:" +
                   std::to_string(blocked) + "\n");
    }
    else if (verb == "record") std::ofstream(value) << argText;
    else if (verb == "orphan") {
      if (::fork() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value.c_str())));
        std::_Exit(0);
      }
    } else if (verb == "env") {
      const char* v = std::getenv(value.c_str());
      Write(1, std::string(v ? v : "(unset)") + "\n");
    } else if (verb == "pid") std::ofstream(value) << ::getpid() << "\n";
    else if (verb == "lock") {
      locks.push_back(std::make_unique<platform::NamedMutex>(platform::WideFromAnsi(value)));
      Write(1, locks.back()->Owned() ? "locked\n" : "busy\n");
    } else if (verb == "image" && argc > firstArg) {
      std::string host;
      if (platform::ResolvePath(platform::WideFromAnsi(argv[argc - 1]), host)) std::ofstream(host) << "image";
    } else if (verb == "exit") return std::atoi(value.c_str());
  }
  return 0;
}
