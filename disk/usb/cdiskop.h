#pragma once
// The disk tool's script runner: one temporary script file in the current
// folder ("_<hex>.tmp"), rewritten for every script and run with
// "diskpart /s <file>" as a hidden child; exit code 0 is success.
// Process-wide single instance, made on first use and never destroyed;
// used from the worker thread only.

#include <string>

namespace gs {

class CDiskOP {
 public:
  static CDiskOP* Instance();

  // Creates the script file once; true at once when it exists.
  [[nodiscard]] bool CreateScriptFile();
  // Deletes the script file when there is one; always true.
  [[nodiscard]] bool DeleteScriptFile();
  // Writes the script (8-bit text) into the file and runs the tool on it.
  [[nodiscard]] bool RunScript(const std::string& text);

  // "sel disk %u\r\nsel par %u\r\nformat fs=FAT32|NTFS quick\r\nexit\r\n"
  [[nodiscard]] bool FormatPartition(unsigned disk, unsigned partition, bool fat32);
  // "sel disk %u\r\nsel par %u\r\nactive\r\nexit\r\n"
  [[nodiscard]] bool SetActive(unsigned disk, unsigned partition);
  // Wipes the disk into one active FAT32 partition with the letter given.
  [[nodiscard]] bool CleanAndFormat(unsigned disk, const std::string& letter);

  // The script texts, as written to the file.
  static std::string FormatScript(unsigned disk, unsigned partition, bool fat32);
  static std::string ActiveScript(unsigned disk, unsigned partition);
  static std::string CleanScript(unsigned disk, const std::string& letter);

  // The script file's path ("" while there is none).
  const std::wstring& ScriptPath() const { return m_ScriptPath; }

 private:
  CDiskOP();
  bool m_bCreated = false;
  std::wstring m_ScriptPath;
};

}  // namespace gs
