#include "copy/coptfile.h"

#include <optional>

#include <vector>

#include "disk/foldertree.h"
#include "disk/tracelog.h"
#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "platform/fs/links.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace {

// The medium's autorun file is written under a temporary name first: a
// guard on the target may block a file of that name while it is written.
constexpr wchar_t kAutorunName[] = L"AUTORUN.INF";
constexpr wchar_t kAutorunTempSuffix[] = L"TOINI";

// The size of a folder tree or of one file, in bytes.
std::int64_t MeasureSource(const std::wstring& src) {
  if (platform::IsDirectory(src)) return GetFolderSize(src, true);
  return GetFileSize(src);
}

// Empties the target after a failed or stopped copy. A folder is emptied,
// removed and made again; a drive root, however spelt, stays and everything
// on it goes.
void EmptyTarget(const std::wstring& dst) {
  if (!platform::IsDriveRoot(dst) && !platform::IsDriveRootFolder(dst)) {
    DeleteFolderContents(dst);
    platform::CreateDirectory(dst);
    return;
  }
  std::vector<platform::FindData> entries;
  platform::FindFiles(platform::JoinPath(dst, L"*.*"), entries);
  for (const auto& e : entries) {
    if (e.IsDots()) continue;
    std::wstring full = platform::JoinPath(dst, e.name);
    if (e.IsSubtree()) {
      DeleteFolderContents(full);
    } else if (e.IsFolder()) {
      platform::RemoveDirectory(full);  // a link to a folder, as a link
    } else {
      ClearReadOnly(full);
      platform::DeleteFile(full);
    }
  }
}

}  // namespace

COptFile& COptFile::Instance() {
  static COptFile* engine = new COptFile();  // kept for the whole process, by design
  return *engine;
}

COptFile::COptFile() = default;
COptFile::~COptFile() = default;

void COptFile::SetPath(const std::wstring& src, const std::wstring& dst) {
  m_SrcPath = src;
  m_DstPath = dst;
}

void COptFile::SetWeight(double weight) { m_Weight = weight; }

void COptFile::SetFlushTarget(bool flush) { m_FlushTarget = flush; }

bool COptFile::Start(platform::LPPROGRESS_ROUTINE progress, void* data) {
  m_bStop = false;
  m_TotalFileSize = 0;
  m_CopiedSize = 0;
  return Copy(progress, data, m_SrcPath, m_DstPath);
}

void COptFile::Stop() { m_bStop = true; }

bool COptFile::IsStop() const { return m_bStop; }

bool COptFile::Copy(platform::LPPROGRESS_ROUTINE progress, void* data, const std::wstring& src,
                    const std::wstring& dst) {
  m_CopySource = src;
  m_TotalFileSize = MeasureSource(src);
  TraceLog(L"[CopyOperation:: Srcpath]" + src);
  TraceLog(L"[CopyOperation:: m_TotalFileSize]" + std::to_wstring(m_TotalFileSize));

  // Opened before the first write: losses the kernel meets while it writes
  // the copy back in the background are reported to this watch's flush.
  std::optional<platform::VolumeWriteWatch> watch;
  if (m_FlushTarget) watch.emplace(dst);

  if (platform::PathExists(src) && !platform::IsDirectory(src))
    return CopySingleFile(progress, data, src, dst) && FlushTarget(watch ? &*watch : nullptr);

  bool res = CopyTree(progress, data, src, dst);
  // A stopped copy is emptied below; nothing of it needs to reach the medium.
  if (res && !IsStop()) res = FlushTarget(watch ? &*watch : nullptr);
  if (!res || !IsFinished()) {
    TraceLog(L"[OnCopyfileCallback::false]!res || (res && !IsFinished() )");
    EmptyTarget(dst);
    return false;
  }
  if (IsStop()) {
    TraceLog(L"[OnCopyfileCallback::false]!IsStop");
    EmptyTarget(dst);
    return true;
  }
  return true;
}

bool COptFile::CopyTree(platform::LPPROGRESS_ROUTINE progress, void* data, const std::wstring& src,
                        const std::wstring& dst) {
  if (!platform::PathExists(dst)) platform::CreateDirectory(dst);

  // An unreadable folder lists nothing and so counts as empty.
  std::vector<platform::FindData> entries;
  platform::FindFiles(platform::JoinPath(src, L"*.*"), entries);
  for (const auto& e : entries) {
    if (e.IsDots()) continue;
    if (m_bStop) return true;
    std::wstring from = platform::JoinPath(src, e.name);
    // A link that leads out of the source tree (a disc made to hand us a
    // host file) is not copied; Windows media hold none.
    if (e.IsLink() && !platform::LinkStaysInside(from, m_CopySource)) {
      TraceLog(L"[COptFile::CopyTree] link skipped, it leads outside the source: " + from);
      continue;
    }
    if (e.IsSubtree()) {
      if (!CopyTree(progress, data, from, platform::JoinPath(dst, e.name))) return false;
    } else if (e.IsFolder()) {
      // A link to a folder is copied as a link, never walked: it may lead
      // out of the tree or back into it.
      bool cancel = false;
      if (!platform::CopyFileEx(from, platform::JoinPath(dst, e.name), nullptr, nullptr, &cancel,
                                platform::COPY_FILE_COPY_SYMLINK))
        return false;
    } else {
      if (!CopyEntryFile(progress, data, from, dst, e.name)) return false;
      // The size the tree was measured with: opening the file once more
      // only to ask its size costs more than its copy when files are small.
      m_CopiedSize += static_cast<std::int64_t>(e.size);
    }
  }
  return true;
}

bool COptFile::CopyEntryFile(platform::LPPROGRESS_ROUTINE progress, void* data, const std::wstring& from,
                             const std::wstring& folder, const std::wstring& name) {
  // Cancelling is the routine's business; this flag only satisfies the call.
  bool cancel = false;
  const std::wstring to = platform::JoinPath(folder, name);
  if (platform::UpperCase(name) != kAutorunName) return platform::CopyFileEx(from, to, progress, data, &cancel, 0);

  const std::wstring temp = to + kAutorunTempSuffix;
  if (!platform::CopyFileEx(from, temp, progress, data, &cancel, 0)) return false;
  // A failed rename leaves the file under its temporary name; the copy goes
  // on. An older autorun file of the target is replaced, like every other
  // file of the tree.
  platform::MoveFile(temp, to, platform::MOVEFILE_REPLACE_EXISTING);
  return true;
}

bool COptFile::CopySingleFile(platform::LPPROGRESS_ROUTINE progress, void* data, const std::wstring& src,
                              const std::wstring& dst) {
  if (!platform::PathExists(src)) return false;
  if (!platform::PathExists(dst)) platform::CreateDirectory(dst);
  const size_t slash = src.find_last_of(L"\\/");
  const std::wstring name = slash == std::wstring::npos ? src : src.substr(slash + 1);
  bool cancel = false;
  return platform::CopyFileEx(src, platform::JoinPath(dst, name), progress, data, &cancel, 0);
}

bool COptFile::FlushTarget(platform::VolumeWriteWatch* watch) {
  if (!watch) return true;
  if (watch->Flush()) return true;
  TraceLog(L"[COptFile::FlushTarget] the target's volume could not be written out, error " +
           std::to_wstring(platform::GetLastError()));
  return false;
}

bool COptFile::IsFinished() {
  if (MeasureSource(m_CopySource) < m_TotalFileSize) {
    TraceLog(L"[COptFile::IsFinished]!false");
    return false;
  }
  TraceLog(L"[COptFile::IsFinished]!true");
  return true;
}
