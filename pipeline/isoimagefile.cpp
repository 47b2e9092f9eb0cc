#include "pipeline/isoimagefile.h"

#include <cerrno>

#include "disk/tracelog.h"
#include "platform/fs/files.h"
#include "platform/fs/paths.h"
#include "platform/invoker/invoker.h"
#include "platform/fs/tempfile.h"
#include "platform/lasterror.h"

namespace {
const wchar_t* const kTempPrefix = L"kestrunex-image-";
}  // namespace

bool CreateIsoImageTempFile(const std::wstring& isoFolder, std::wstring& path) {
  std::wstring folder = isoFolder;
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  if (folder.size() == 3) folder.pop_back();  // "E:\" joins as "E:" + "\name"
  // Root on a user's behalf writes only where that user may: the folder is
  // the user's choice, so the user's rights decide (root's would pass).
  std::string host;
  if (platform::ResolvePath(isoFolder, host) && !platform::invoker::InvokerMayWriteFolder(host)) {
    platform::SetLastError(platform::ErrorFromErrno(errno));
  } else if (platform::GetTempFileName(folder, kTempPrefix, &path) != 0) {
    return true;
  }
  const platform::DWORD error = platform::GetLastError();
  TraceLog(L"[CreateIsoImageTempFile] " + isoFolder + L" is fail:" + std::to_wstring(error));
  platform::SetLastError(error);
  path.clear();
  return false;
}

void RemoveIsoImageTempFile(const std::wstring& path) {
  if (path.empty()) return;
  if (!platform::DeleteFile(path) && platform::GetLastError() != platform::ERROR_FILE_NOT_FOUND)
    TraceLog(L"[RemoveIsoImageTempFile] " + path + L" is fail:" + std::to_wstring(platform::GetLastError()));
}
