#include "pipeline/isooperation.h"

#include "config/messageboxes.h"
#include "disk/tracelog.h"
#include "pipeline/isoimagefile.h"
#include "pipeline/makeisofile.h"
#include "pipeline/opmessages.h"
#include "platform/fs/files.h"
#include "platform/fs/sysfolders.h"
#include "platform/lasterror.h"

namespace {

const wchar_t* const kToolX86 = L"Oscdimg_x86\\Oscdimg\\oscdimg.exe";
const wchar_t* const kToolAmd64 = L"Oscdimg_amd64\\Oscdimg\\oscdimg.exe";
const wchar_t* const kToolOptions = L"-lWIN7 -m -o -u1 -udfver102 ";
// Names tried when other files keep taking the next number.
constexpr int kNameAttempts = 100;

// An empty text stays empty; otherwise a quote in front and at the end
// unless already there.
std::wstring Quote(const std::wstring& text) {
  if (text.empty()) return text;
  std::wstring quoted = text;
  if (quoted.front() != L'"') quoted.insert(quoted.begin(), L'"');
  if (quoted.size() < 2 || quoted.back() != L'"') quoted += L'"';
  return quoted;
}

// Everything up to and including the last backslash; empty without one.
std::wstring UpToLastBackslash(const std::wstring& path) {
  const std::size_t sep = path.find_last_of(L'\\');
  return sep == std::wstring::npos ? std::wstring() : path.substr(0, sep + 1);
}

// A label as a file name: characters that cannot stand in one, or that
// would end the quoted path early, become '_'.
std::wstring FileNameOfLabel(std::wstring label) {
  for (wchar_t& c : label)
    if (c < L' ' || std::wstring_view(L"\"\\/:*?<>|").find(c) != std::wstring_view::npos) c = L'_';
  return label;
}

}  // namespace

ISOOperation::ISOOperation(platform::HWND hWnd, int state, std::wstring folder, std::wstring isoFolder,
                           std::wstring volumeLabel, bool is64, std::wstring tempFile)
    : BasicOperation(hWnd, state),
      m_SrcFolder(std::move(folder)),
      m_IsoFolder(std::move(isoFolder)),
      m_VolumeLabel(std::move(volumeLabel)),
      m_TempFile(std::move(tempFile)),
      is64dvd(is64) {
  const std::wstring programFolder = platform::GetProgramFolder();
  m_OscdimgPath = programFolder + kToolX86;
  const std::wstring archTool = programFolder + (is64dvd ? kToolAmd64 : kToolX86);
  const std::wstring archFolder = UpToLastBackslash(archTool);
  m_EtfsbootPath = archFolder + L"etfsboot.com";
  m_EfisysPath = archFolder + L"efisys.bin";
  TraceLog(L"ISOOperation create");
  TraceLog(L"[ISOOperation::tmp_oscdTool]" + archTool);
}

std::wstring ISOOperation::IsoFilePath() const {
  std::wstring base = m_IsoFolder;
  if (base.empty() || base.back() != L'\\') base += L'\\';
  base += FileNameOfLabel(m_VolumeLabel);
  std::wstring path = base + L".iso";
  for (unsigned n = 0; platform::PathExists(path); ++n) path = base + std::to_wstring(n) + L".iso";
  return path;
}

std::wstring ISOOperation::CommandLine() const {
  std::wstring cmd = Quote(m_OscdimgPath) + L" " + kToolOptions;
  if (is64dvd)
    cmd += L"-bootdata:2#p0,e,b" + Quote(m_EtfsbootPath) + L"#pEF,e,b" + Quote(m_EfisysPath);
  else
    cmd += L"-bootdata:1#p0,e,b" + Quote(m_EtfsbootPath);
  cmd += L" " + Quote(UpToLastBackslash(m_SrcFolder)) + L" " + Quote(m_TempFile);
  return cmd;
}

int ISOOperation::Excute() {
  TraceLog(L"ISOOperation Excute");
  // The run's cancel event is made now, and a stop that came since the step
  // was made is handed to it: m_bStop is set before Stop cancels, so either
  // it is seen here or Stop's cancel reaches the new event.
  MakeISOFile& runner = MakeISOFile::Instance();
  runner.BeginRun();
  if (m_bStop) runner.Cancle();

  TraceLog(L"ISOOperation precheck");
  if (!platform::IsDirectory(m_IsoFolder)) {
    ShowIsoFolderMissingBox();
    return 0;
  }
  if (m_TempFile.empty() && !CreateIsoImageTempFile(m_IsoFolder, m_TempFile)) {
    PostState(0);
    TraceLog(L"[ISOOperation- RunOperate] is fail");
    return 0;
  }
  // The tool makes the image itself and never writes over a file: the
  // placeholder that kept the name goes just before it starts.
  RemoveIsoImageTempFile(m_TempFile);
  runner.SetCmd(CommandLine());
  const bool ran = runner.Excute(&ISOOperation::OnIsoProgress, this);
  if (ran && !m_bStop && PublishImage()) {
    TraceLog(L"ISOOperation Excute - end(TRUE)");
    return 1;
  }
  // Cancelled or failed: whatever the tool wrote goes.
  RemoveIsoImageTempFile(m_TempFile);
  if (ran && m_bStop) return 1;
  TraceLog(L"[ISOOperation- RunOperate] is fail");
  return 0;
}

bool ISOOperation::PublishImage() {
  if (!platform::FlushFileToDevice(m_TempFile)) {
    TraceLog(L"[ISOOperation::PublishImage] flush " + m_TempFile + L" is fail:" +
             std::to_wstring(platform::GetLastError()));
    PostState(0);
    return false;
  }
  // The number is chosen now; a file that takes the name meanwhile is
  // never replaced: the next number is tried.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring path = IsoFilePath();
    if (platform::MoveFile(m_TempFile, path)) {
      TraceLog(L"[ISOOperation::PublishImage] " + path);
      return true;
    }
    if (platform::GetLastError() != platform::ERROR_ALREADY_EXISTS) break;
  }
  TraceLog(L"[ISOOperation::PublishImage] rename " + m_TempFile + L" is fail:" +
           std::to_wstring(platform::GetLastError()));
  PostState(0);
  return false;
}

void ISOOperation::Stop() {
  m_bStop = true;
  MakeISOFile::Instance().Cancle();
}

void ISOOperation::OnIsoProgress(int value, void* data) {
  static_cast<ISOOperation*>(data)->PostState(value);
}
