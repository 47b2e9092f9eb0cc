#include "config/cgetconfiginfo.h"

#include "platform/fs/sysfolders.h"
#include "platform/text.h"

namespace {
std::unique_ptr<CGetConfigInfo>& Slot() {
  static std::unique_ptr<CGetConfigInfo> instance;
  return instance;
}
constexpr int kDefaultShowEula = 1;
}  // namespace

CGetConfigInfo::CGetConfigInfo() = default;
CGetConfigInfo::~CGetConfigInfo() { m_xml.Close(); }

CGetConfigInfo& CGetConfigInfo::Instance() {
  auto& slot = Slot();
  if (!slot) slot.reset(new CGetConfigInfo());  // private constructor
  return *slot;
}

void CGetConfigInfo::FreeInstance() { Slot().reset(); }

bool CGetConfigInfo::Open(const std::wstring& path) {
  m_path = path;
  m_xml.Close();
  m_root = nullptr;
  m_currentType = 0;
  if (!m_xml.Open(platform::AnsiFromWide(path), false)) return false;
  m_root = m_xml.Root();
  gs::GsXml::GetInt(gs::GsXml::FindChild(m_root, "currenttype"), m_currentType);
  return true;
}

gs::GsXml::Handle CGetConfigInfo::ActiveItem(const char* group, const char* name) const {
  // The number is written back as plain decimal: 0x2 and 02 both select "2".
  const std::string key = std::to_string(m_currentType);
  gs::GsXml::Handle profile = gs::GsXml::FindChild(m_root, "type", key.c_str());
  gs::GsXml::Handle groupElement = gs::GsXml::FindChild(profile, group);
  return gs::GsXml::FindChild(groupElement, name);
}

std::wstring CGetConfigInfo::GetString(const char* group, const char* name) const {
  std::wstring text;
  gs::GsXml::GetText(ActiveItem(group, name), text);
  return text;
}

int CGetConfigInfo::GetNumber(const char* group, const char* name, int defaultValue) const {
  int value = defaultValue;
  gs::GsXml::GetInt(ActiveItem(group, name), value);
  return value;
}

std::wstring CGetConfigInfo::GetTitle() { return GetString("ui", "title"); }
std::wstring CGetConfigInfo::GetLogoPath() { return GetString("ui", "logopath"); }
bool CGetConfigInfo::IsShowEula() { return GetNumber("ui", "isshoweula", kDefaultShowEula) != 0; }
std::wstring CGetConfigInfo::GetEulaPath(const std::string& lang) { return GetString("eula", lang.c_str()); }

ScopedConfigReading::ScopedConfigReading(const std::wstring& path)
    : m_opened(CGetConfigInfo::Instance().Open(path)) {}

ScopedConfigReading::~ScopedConfigReading() { CGetConfigInfo::FreeInstance(); }

std::wstring ConfigFilePath() { return platform::GetProgramFolder() + L"config.xml"; }
