#pragma once
// kestrunex-cli as a function, so the program's main is one line and tests
// can drive it with their own streams.

#include <cstdio>
#include <string>
#include <vector>

// args without the program name. Returns the exit code (headlessjob.h).
int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in);
