// Our disk tool: "diskpart /s <script>" runs a script of the commands the
// program uses (see session.h); without /s the commands come from standard
// input. Exit codes: 0 every command succeeded, 1 a command failed, 2 the
// script cannot be read or holds an unknown command, 3 the disk may not be
// changed (the running system's disk, or no root rights for a real disk).

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "tools/diskpart/session.h"

int main(int argc, char** argv) {
  std::error_code ec;
  std::string folder = std::filesystem::canonical("/proc/self/exe", ec).parent_path().string();
  diskpart::Session session(std::cout, folder + "/bootcode", static_cast<int>(::getppid()));
  std::cout << "\nKestrunex DiskPart\n";
  if (argc == 3 && (std::strcmp(argv[1], "/s") == 0 || std::strcmp(argv[1], "/S") == 0 ||
                    std::strcmp(argv[1], "-s") == 0))
    return session.RunFile(argv[2]);
  if (argc != 1) {
    std::cerr << "usage: diskpart [/s script]\n";
    return diskpart::kExitBadScript;
  }
  return session.RunStream(std::cin);
}
