#pragma once
// Running our tool and the peer tools from tests: a shell command with its
// standard output and error captured apart, and file-tree helpers.

#include <filesystem>
#include <map>
#include <string>

namespace oscdimgtest {

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a shell command line; env is prefixed as "NAME=value ..." text.
Result Shell(const std::string& command);

// Single-quotes a path for the shell.
std::string Quote(const std::string& text);

// The installed tool and the other build outputs the tests use.
std::string ToolPath();
std::string BootFile(const char* name);  // from the amd64 tool folder
std::string SourceDir();
std::string StandinsDir();

std::string ReadAll(const std::filesystem::path& file);
void WriteAll(const std::filesystem::path& file, const std::string& data);

// Relative path -> content for regular files; relative path -> "<dir>" for
// folders (so empty folders count).
std::map<std::string, std::string> Snapshot(const std::filesystem::path& root);

}  // namespace oscdimgtest
