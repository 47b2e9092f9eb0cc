#pragma once
// Text helpers shared by every layer above the platform.

#include <string>

std::string ToAnsi(const std::wstring& wide);
std::wstring FromAnsi(const std::string& ansi);
// Lower-cases A-Z only (drive letters, paths, hexadecimal digits).
std::wstring ToLower(const std::wstring& text);
std::string IntToText(int value);
std::wstring IntToTextW(int value);
// Appends a backslash unless the path is empty or already ends in one.
std::string IncludeBackslash(const std::string& path);
std::wstring IncludeBackslash(const std::wstring& path);
