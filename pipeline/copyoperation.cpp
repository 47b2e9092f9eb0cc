#include "pipeline/copyoperation.h"

#include <algorithm>

#include "copy/coptfile.h"
#include "disk/tracelog.h"
#include "pipeline/opmessages.h"
#include "platform/fs/files.h"

namespace {
constexpr platform::LPARAM kFullPercent = 100;
constexpr double kPercent = 100.0;
}  // namespace

CopyOperation::CopyOperation(platform::HWND hWnd, int state, std::wstring source, std::wstring target,
                             double weight)
    : BasicOperation(hWnd, state), m_SourcePath(std::move(source)), m_TagPath(std::move(target)), m_Weight(weight) {
  TraceLog(L"CopyOperation::Create");
  TraceLog(L"[CopyOperation:: m_SourcePath]" + m_SourcePath);
  TraceLog(L"[CopyOperation:: m_TagPath]" + m_TagPath);
}

int CopyOperation::Excute() {
  TraceLog(L"CopyOperation::Excute");
  // m_bStop is not cleared here: the operation runs once, and a stop that
  // arrived before this point must still end the copy.
  if (!platform::IsDirectory(m_TagPath)) {
    TraceLog(L"[CopyOperation:: m_TagPath] is not exist");
    return 0;
  }
  TraceLog(L"CopyOperation::Excute - SettingOptPath");

  COptFile& engine = COptFile::Instance();
  engine.SetPath(m_SourcePath, m_TagPath);
  engine.SetWeight(m_Weight);
  // Copies onto the stick reach it before the step counts as done; the work
  // folder on the host's disk needs no flush (the image is made from it
  // while it is still in the page cache).
  engine.SetFlushTarget(m_State == kStateCopy);
  if (engine.Start(&CopyOperation::OnCopyProgress, this)) {
    if (IsStop()) {
      TraceLog(L"[CopyOperation:: Excute] IsStop");
      return 1;
    }
    m_State = kStateCopySuccess;
    TraceLog(L"[CopyOperation:: Excute] BACKUPOK");
    PostState(kFullPercent);
    return 1;
  }
  m_State = kStateCopyFailed;
  TraceLog(L"[CopyOperation:: Excute] BACKUPFAIL");
  PostState(kFullPercent);
  return 0;
}

bool CopyOperation::IsStop() { return m_bStop; }

void CopyOperation::Stop() {
  m_bStop = true;
  COptFile::Instance().Stop();
}

platform::DWORD CopyOperation::OnCopyProgress(std::int64_t totalFileSize, std::int64_t totalBytesTransferred,
                                              std::int64_t, std::int64_t, platform::DWORD, platform::DWORD,
                                              platform::HANDLE, platform::HANDLE, void* data) {
  return static_cast<CopyOperation*>(data)->Progress(totalFileSize, totalBytesTransferred);
}

platform::DWORD CopyOperation::Progress(std::int64_t fileSize, std::int64_t fileBytesDone) {
  COptFile& engine = COptFile::Instance();
  // The engine clears its stop request when it starts; a stop that came in
  // just before is handed on here so it is not lost.
  if (m_bStop && !engine.IsStop()) engine.Stop();
  if (fileSize <= 0) return platform::PROGRESS_CONTINUE;
  if (engine.IsStop()) {
    platform::PostMessage(m_hWnd, WM_OPSTATE, kStateCancel, 0);
    return platform::PROGRESS_CANCEL;
  }
  // The share of the whole tree done, never past the whole: files may have
  // grown since the tree was measured.
  const std::int64_t total = engine.GetTotalFileSize();
  const std::int64_t done = engine.GetCopiedSize() + fileBytesDone;
  double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) * kPercent : kPercent;
  share = std::min(share, kPercent);
  PostState(static_cast<platform::LPARAM>(static_cast<int>(engine.GetWeight() * share)));
  return platform::PROGRESS_CONTINUE;
}
