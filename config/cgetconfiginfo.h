#pragma once
// CGetConfigInfo: the reader of "config.xml", the program's branding file.
//
// Reading protocol, used by every consumer: Instance(), Open(path), the
// getters it needs, FreeInstance(). Nothing is cached between readings, so
// an edit of the file is seen at the next reading. A file that cannot be
// loaded yields the defaults: empty texts, IsShowEula true, current type 0.
//
// The active profile is the first <type> under the root whose key
// attribute equals the decimal text of <currenttype> (ASCII case ignored,
// no trimming). Within it <ui> and <eula> and their children are the first
// elements of that name. Element names must be lower case in the file.
//
// User-interface thread only; the single reader is not locked.

#include <memory>
#include <string>

#include "src/xml/gsxml.h"

class CGetConfigInfo {
 public:
  // The single reader, made on first use (empty path, nothing loaded).
  static CGetConfigInfo& Instance();
  // Closes the document and destroys the reader; the next Instance() makes
  // a fresh one.
  static void FreeInstance();

  // Loads the file at the system path (closing any document held). False
  // when it cannot be loaded; the getters then yield their defaults.
  bool Open(const std::wstring& path);

  std::wstring GetTitle();                            // type/ui/title, "" by default
  std::wstring GetLogoPath();                         // type/ui/logopath, "" by default
  bool IsShowEula();                                  // type/ui/isshoweula != 0, true by default
  std::wstring GetEulaPath(const std::string& lang);  // type/eula/<lang lower-cased>, ""

  const std::wstring& Path() const { return m_path; }
  int CurrentType() const { return m_currentType; }

  ~CGetConfigInfo();

 private:
  CGetConfigInfo();
  CGetConfigInfo(const CGetConfigInfo&) = delete;
  CGetConfigInfo& operator=(const CGetConfigInfo&) = delete;

  gs::GsXml::Handle ActiveItem(const char* group, const char* name) const;
  std::wstring GetString(const char* group, const char* name) const;
  int GetNumber(const char* group, const char* name, int defaultValue) const;

  std::wstring m_path;
  gs::GsXml m_xml;
  gs::GsXml::Handle m_root = nullptr;
  int m_currentType = 0;
};

// One reading: Instance() and Open(path) on construction, FreeInstance()
// on destruction. The result of Open is deliberately not needed: a failed
// open yields the defaults.
class ScopedConfigReading {
 public:
  explicit ScopedConfigReading(const std::wstring& path);
  ~ScopedConfigReading();
  ScopedConfigReading(const ScopedConfigReading&) = delete;
  ScopedConfigReading& operator=(const ScopedConfigReading&) = delete;
  CGetConfigInfo* operator->() const { return &CGetConfigInfo::Instance(); }
  bool opened() const { return m_opened; }

 private:
  bool m_opened;
};

// The configuration file's system path: the program folder followed by
// "config.xml". No other folder is searched.
std::wstring ConfigFilePath();
