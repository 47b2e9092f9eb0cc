// The servicing interface's entry points: argument checks, sessions, the
// per-thread failure text, the log, and the structures handed to callers.

#include "platform/dism/dismapi.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dism/dismlog.h"
#include "platform/dism/mountedimage.h"
#include "platform/dism/wimfile.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"

namespace platform {

namespace {

using namespace dism;

struct OpenSessionState {
  MountRecord record;
  ImageFacts facts;
};

// Memory handed to a caller: the structure array and the strings it points at.
struct Allocation {
  virtual ~Allocation() = default;
};
template <typename T>
struct ArrayAllocation final : Allocation {
  std::vector<T> items;
  std::vector<std::unique_ptr<std::wstring>> strings;
  const wchar_t* Keep(const std::wstring& text) {
    strings.push_back(std::make_unique<std::wstring>(text));
    return strings.back()->c_str();
  }
};

struct State {
  std::recursive_mutex mutex;
  bool initialized = false;
  DismLog log;
  std::map<DismSession, OpenSessionState> sessions;
  DismSession nextSession = 1;
  std::map<void*, std::unique_ptr<Allocation>> allocations;
};

State& TheState() {
  static State state;
  return state;
}

thread_local std::wstring t_lastError;
thread_local bool t_hasError = false;

std::wstring Hex(HRESULT hr) {
  wchar_t buf[16];
  std::swprintf(buf, 16, L"0x%08x", static_cast<unsigned>(hr));
  return buf;
}

// Records the outcome of a call: the failure text for this thread and a log line.
HRESULT Finish(const wchar_t* call, HRESULT hr, const std::wstring& message, const std::wstring& done = {}) {
  State& s = TheState();
  if (Failed(hr)) {
    t_lastError = message.empty() ? std::wstring(call) + L" failed." : message;
    t_hasError = true;
    s.log.Write(LogKind::Error, std::wstring(call) + L" failed " + Hex(hr) + L": " + t_lastError);
  } else {
    s.log.Write(LogKind::Info, std::wstring(call) + (done.empty() ? L"" : L": " + done));
  }
  return hr;
}

template <typename T>
ArrayAllocation<T>* Allocate(size_t count) {
  auto block = std::make_unique<ArrayAllocation<T>>();
  block->items.resize(count == 0 ? 1 : count);  // a valid pointer even for no entries
  auto* raw = block.get();
  TheState().allocations[raw->items.data()] = std::move(block);
  return raw;
}

std::string HostOf(const wchar_t* path) {
  std::string host;
  if (!path || !ResolvePath(path, host)) return {};
  return CanonicalHost(host);
}

const MountRecord* FindMount(const std::vector<MountRecord>& records, const std::string& host) {
  for (const auto& r : records)
    if (!host.empty() && r.mountHost == host) return &r;
  return nullptr;
}

void CloseSessionsOf(unsigned id) {
  auto& sessions = TheState().sessions;
  for (auto it = sessions.begin(); it != sessions.end();)
    it = it->second.record.id == id ? sessions.erase(it) : std::next(it);
}

// A commit rewrites the WIM, so every open session on that WIM (the one
// that committed, and those on its other images) takes the record's new
// size and time; otherwise their next call would see the mount as changed
// by someone else.
void RefreshSessionsOf(const std::string& wimHost) {
  const auto records = MountRegistry::Load();
  for (auto& [id, session] : TheState().sessions) {
    if (session.record.wimHost != wimHost) continue;
    for (const auto& r : records)
      if (r.id == session.record.id) {
        session.record.wimSize = r.wimSize;
        session.record.wimTime = r.wimTime;
      }
  }
}

// Writes what the sessions on a mount changed in the image's registry into
// the mount folder, so that a commit takes it along.
HRESULT FlushSessionsOf(unsigned id, std::wstring& message) {
  for (auto& [sid, session] : TheState().sessions)
    if (session.record.id == id)
      if (HRESULT hr = FlushHive(session.record, session.facts.hive, message); Failed(hr)) return hr;
  return S_OK;
}

#define DISM_ENTER(name)                                      \
  State& s = TheState();                                      \
  std::lock_guard<std::recursive_mutex> guard(s.mutex);       \
  t_hasError = false;                                         \
  t_lastError.clear();                                        \
  const wchar_t* const call = name;                           \
  if (!s.initialized)                                         \
    return Finish(call, DISMAPI_E_DISMAPI_NOT_INITIALIZED,    \
                  L"The servicing interface is not initialised.");

}  // namespace

HRESULT DismInitialize(DismLogLevel LogLevel, const wchar_t* LogFilePath, const wchar_t* /*ScratchDirectory*/) {
  State& s = TheState();
  std::lock_guard<std::recursive_mutex> guard(s.mutex);
  t_hasError = false;
  if (s.initialized)
    return Finish(L"DismInitialize", HResultFromWin32(ERROR_ALREADY_INITIALIZED),
                  L"The servicing interface is already initialised in this process.");
  if (LogLevel < DismLogErrors || LogLevel > DismLogErrorsWarningsInfo)
    return Finish(L"DismInitialize", E_INVALIDARG, L"The log level is not one of 0, 1 and 2.");
  if (int rc = EnsureWimlib())
    return Finish(L"DismInitialize", HResultFromWimlib(rc, 0), L"The image library cannot start: " + WimlibText(rc));
  s.log.Open(LogLevel, LogFilePath ? LogFilePath : L"");
  s.initialized = true;
  return Finish(L"DismInitialize", S_OK, {}, L"log level " + std::to_wstring(LogLevel));
}

HRESULT DismShutdown() {
  DISM_ENTER(L"DismShutdown");
  // Closing a session keeps its registry changes in the mount, as DismCloseSession does.
  for (auto& [id, session] : s.sessions) {
    std::wstring ignored;
    // Shutting down has no one to report to; a hive that could not be
    // written leaves the mount as its last commit made it.
    static_cast<void>(FlushHive(session.record, session.facts.hive, ignored));
  }
  s.sessions.clear();
  Finish(call, S_OK, {});
  s.log.Close();
  s.initialized = false;
  return S_OK;
}

HRESULT DismGetLastErrorMessage(DismString** ErrorMessage) {
  if (!ErrorMessage) return E_INVALIDARG;
  *ErrorMessage = nullptr;
  if (!t_hasError) return S_FALSE;
  std::lock_guard<std::recursive_mutex> guard(TheState().mutex);
  auto* block = Allocate<DismString>(1);
  block->items[0].Value = block->Keep(t_lastError);
  *ErrorMessage = block->items.data();
  return S_OK;
}

HRESULT DismDelete(void* DismStructure) {
  State& s = TheState();
  std::lock_guard<std::recursive_mutex> guard(s.mutex);
  if (!DismStructure || !s.allocations.erase(DismStructure)) return E_INVALIDARG;
  return S_OK;
}

HRESULT DismGetImageInfo(const wchar_t* ImageFilePath, DismImageInfo** ImageInfo, UINT* Count) {
  DISM_ENTER(L"DismGetImageInfo");
  if (!ImageFilePath || !ImageInfo || !Count) return Finish(call, E_INVALIDARG, L"A required argument is missing.");
  *ImageInfo = nullptr;
  *Count = 0;
  const std::wstring quoted = L"'" + std::wstring(ImageFilePath) + L"'";
  std::string host;
  std::error_code ec;
  if (!ResolvePath(ImageFilePath, host) || !std::filesystem::is_regular_file(host, ec))
    return Finish(call, HResultFromWin32(ec ? ErrorFromErrno(ec.value()) : ERROR_FILE_NOT_FOUND),
                  L"The image file " + quoted + L" does not exist.");
  WimFile wim;
  errno = 0;
  if (int rc = wim.Open(host, false))
    return Finish(call, HResultFromWimlib(rc, errno),
                  L"The image file " + quoted + L" cannot be read: " + WimlibText(rc));
  const int count = wim.ImageCount();
  auto* block = Allocate<DismImageInfo>(static_cast<size_t>(count));
  for (int i = 1; i <= count; ++i) {
    DismImageInfo& info = block->items[static_cast<size_t>(i - 1)];
    info.ImageType = DismImageTypeWim;
    info.ImageIndex = static_cast<UINT>(i);
    info.ImageName = block->Keep(wim.ImageName(i));
    info.ImageDescription = block->Keep(wim.Property(i, "DESCRIPTION").value_or(L""));
    info.ImageSize = std::wcstoull(wim.Property(i, "TOTALBYTES").value_or(L"0").c_str(), nullptr, 10);
    std::wstring arch = wim.Property(i, "WINDOWS/ARCH").value_or(L"");
    info.Architecture = arch.empty() ? DismArchitectureUnknown : static_cast<UINT>(std::wcstoul(arch.c_str(), nullptr, 10));
  }
  *ImageInfo = block->items.data();
  *Count = static_cast<UINT>(count);
  return Finish(call, S_OK, {}, quoted + L" holds " + std::to_wstring(count) + L" images");
}

HRESULT DismGetMountedImageInfo(DismMountedImageInfo** MountedImageInfo, UINT* Count) {
  DISM_ENTER(L"DismGetMountedImageInfo");
  if (!MountedImageInfo || !Count) return Finish(call, E_INVALIDARG, L"A required argument is missing.");
  auto records = MountRegistry::Load();
  auto* block = Allocate<DismMountedImageInfo>(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    DismMountedImageInfo& info = block->items[i];
    info.MountPath = block->Keep(records[i].mountPath);
    info.ImageFilePath = block->Keep(records[i].wimPath);
    info.ImageIndex = records[i].index;
    info.MountMode = records[i].readOnly ? DismReadOnly : DismReadWrite;
    info.MountStatus = StatusOf(records[i]);
  }
  *MountedImageInfo = block->items.data();
  *Count = static_cast<UINT>(records.size());
  return Finish(call, S_OK, {}, std::to_wstring(records.size()) + L" mounted images");
}

HRESULT DismCleanupMountpoints() {
  DISM_ENTER(L"DismCleanupMountpoints");
  std::vector<MountRecord> removed;
  bool saved = MountRegistry::Update([&](std::vector<MountRecord>& records) {
    for (auto it = records.begin(); it != records.end();) {
      if (StatusOf(*it) == DismMountStatusInvalid) {
        removed.push_back(*it);
        it = records.erase(it);
      } else {
        ++it;
      }
    }
  });
  if (!saved) return Finish(call, HResultFromWin32(ERROR_ACCESS_DENIED), L"The record of mounts cannot be written.");
  for (const auto& r : removed) {
    // A folder that held the mount's files goes too once it is empty: with
    // its "Windows" gone nothing would recognise it as a leftover. A folder
    // that was empty already may have just been made afresh for a new mount
    // under the same name, so it stays.
    // Only a folder of the data folder's own mount folders is touched: the
    // record comes from the prefix, and what it names elsewhere is not ours.
    if (IsOwnMountFolder(r.mountHost)) {
      std::error_code ec;
      const bool held = !std::filesystem::is_empty(r.mountHost, ec) && !ec;
      EmptyFolder(r.mountHost);
      if (held) std::filesystem::remove(r.mountHost, ec);
    }
    MountRegistry::DropManifest(r.id);
    ForgetWim(r.id);
    CloseSessionsOf(r.id);
  }
  return Finish(call, S_OK, {}, std::to_wstring(removed.size()) + L" invalid mounts removed");
}

HRESULT DismMountImage(const wchar_t* ImageFilePath, const wchar_t* MountPath, UINT ImageIndex,
                       const wchar_t* ImageName, DismImageIdentifier ImageIdentifier, DWORD Flags,
                       HANDLE CancelEvent, DISM_PROGRESS_CALLBACK Progress, void* UserData) {
  DISM_ENTER(L"DismMountImage");
  if (!ImageFilePath || !MountPath || CancelEvent || (Flags != DISM_MOUNT_READWRITE && Flags != DISM_MOUNT_READONLY) ||
      (ImageIdentifier == DismImageName && !ImageName))
    return Finish(call, E_INVALIDARG, L"An argument of DismMountImage is not valid.");
  MountRecord record;
  std::wstring message;
  PercentSink sink = [&](UINT current, UINT total) {
    if (Progress) Progress(current, total, UserData);
  };
  HRESULT hr = MountImage(ImageFilePath, MountPath, ImageIndex, ImageName, ImageIdentifier == DismImageName,
                          Flags == DISM_MOUNT_READONLY, sink, record, message);
  return Finish(call, hr, message,
                L"image " + std::to_wstring(record.index) + L" of '" + record.wimPath + L"' mounted " +
                    (record.readOnly ? L"read-only" : L"read-write") + L" at '" + record.mountPath + L"'");
}

HRESULT DismOpenSession(const wchar_t* ImagePath, const wchar_t* WindowsDirectory, const wchar_t* SystemDrive,
                        DismSession* Session) {
  DISM_ENTER(L"DismOpenSession");
  if (!ImagePath || WindowsDirectory || SystemDrive || !Session)
    return Finish(call, E_INVALIDARG, L"An argument of DismOpenSession is not valid.");
  auto records = MountRegistry::Load();
  const MountRecord* record = FindMount(records, HostOf(ImagePath));
  if (!record)
    return Finish(call, HResultFromWin32(ERROR_NOT_FOUND),
                  L"No image is mounted at '" + std::wstring(ImagePath) + L"'.");
  if (StatusOf(*record) != DismMountStatusOk)
    return Finish(call, DISMAPI_E_INVALID_DISM_SESSION,
                  L"The mount at '" + std::wstring(ImagePath) + L"' is not valid: its folder or image file has gone or changed.");
  DismSession id = s.nextSession++;
  s.sessions[id] = {*record, {}};
  *Session = id;
  return Finish(call, S_OK, {}, L"session " + std::to_wstring(id) + L" on '" + std::wstring(ImagePath) + L"'");
}

HRESULT DismAddDriver(DismSession Session, const wchar_t* DriverPath, int /*ForceUnsigned*/) {
  DISM_ENTER(L"DismAddDriver");
  auto it = s.sessions.find(Session);
  if (it == s.sessions.end())
    return Finish(call, DISMAPI_E_INVALID_DISM_SESSION, L"The session " + std::to_wstring(Session) + L" is not open.");
  if (!DriverPath) return Finish(call, E_INVALIDARG, L"No driver path was given.");
  OpenSessionState& session = it->second;
  if (session.record.readOnly)
    return Finish(call, HResultFromWin32(ERROR_ACCESS_DENIED),
                  L"The image at '" + session.record.mountPath + L"' is mounted read-only; drivers cannot be added.");
  if (StatusOf(session.record) != DismMountStatusOk)
    return Finish(call, DISMAPI_E_INVALID_DISM_SESSION,
                  L"The mount at '" + session.record.mountPath + L"' is no longer valid.");
  std::wstring message;
  if (!session.facts.loaded)
    if (HRESULT hr = ReadImageFacts(session.record, session.facts, message); Failed(hr))
      return Finish(call, hr, message);
  HRESULT hr = StageDriver(session.record, session.facts, DriverPath, message);
  return Finish(call, hr, message, L"'" + std::wstring(DriverPath) + L"' staged in '" + session.record.mountPath + L"'");
}

HRESULT DismCommitImage(DismSession Session, DWORD Flags, HANDLE CancelEvent, DISM_PROGRESS_CALLBACK Progress,
                        void* UserData) {
  DISM_ENTER(L"DismCommitImage");
  auto it = s.sessions.find(Session);
  if (it == s.sessions.end())
    return Finish(call, DISMAPI_E_INVALID_DISM_SESSION, L"The session " + std::to_wstring(Session) + L" is not open.");
  if (Flags != 0 || CancelEvent) return Finish(call, E_INVALIDARG, L"An argument of DismCommitImage is not valid.");
  const MountRecord& record = it->second.record;
  if (record.readOnly)
    return Finish(call, HResultFromWin32(ERROR_ACCESS_DENIED),
                  L"The image at '" + record.mountPath + L"' is mounted read-only and cannot be committed.");
  std::wstring message;
  if (HRESULT hr = FlushSessionsOf(record.id, message); Failed(hr)) return Finish(call, hr, message);
  HRESULT hr = CommitMount(record, [&](UINT c, UINT t) { if (Progress) Progress(c, t, UserData); }, message);
  // Also after a failure: a failed commit that left the file intact keeps
  // the mount, and its sessions, usable.
  RefreshSessionsOf(record.wimHost);
  return Finish(call, hr, message, L"image " + std::to_wstring(record.index) + L" of '" + record.wimPath + L"' committed");
}

HRESULT DismCloseSession(DismSession Session) {
  DISM_ENTER(L"DismCloseSession");
  // What the session changed stays in the mount until it is committed or discarded.
  if (auto it = s.sessions.find(Session); it != s.sessions.end()) {
    std::wstring message;
    if (HRESULT hr = FlushHive(it->second.record, it->second.facts.hive, message); Failed(hr))
      return Finish(call, hr, message);
  }
  if (!s.sessions.erase(Session))
    return Finish(call, DISMAPI_E_INVALID_DISM_SESSION, L"The session " + std::to_wstring(Session) + L" is not open.");
  return Finish(call, S_OK, {}, L"session " + std::to_wstring(Session) + L" closed");
}

HRESULT DismUnmountImage(const wchar_t* MountPath, DWORD Flags, HANDLE CancelEvent, DISM_PROGRESS_CALLBACK Progress,
                         void* UserData) {
  DISM_ENTER(L"DismUnmountImage");
  if (!MountPath || CancelEvent || (Flags != DISM_COMMIT_IMAGE && Flags != DISM_DISCARD_IMAGE))
    return Finish(call, E_INVALIDARG, L"An argument of DismUnmountImage is not valid.");
  auto records = MountRegistry::Load();
  const MountRecord* found = FindMount(records, HostOf(MountPath));
  if (!found)
    return Finish(call, DISMAPI_E_UNABLE_TO_UNMOUNT_IMAGE_PATH,
                  L"No image is mounted at '" + std::wstring(MountPath) + L"'.");
  const MountRecord record = *found;
  auto sink = [&](UINT c, UINT t) { if (Progress) Progress(c, t, UserData); };
  if (Flags == DISM_COMMIT_IMAGE) {
    if (record.readOnly)
      return Finish(call, HResultFromWin32(ERROR_ACCESS_DENIED),
                    L"The image at '" + record.mountPath + L"' is mounted read-only; its changes cannot be saved.");
    std::wstring message;
    if (HRESULT hr = FlushSessionsOf(record.id, message); Failed(hr)) return Finish(call, hr, message);
    HRESULT hr = CommitMount(record, sink, message);
    RefreshSessionsOf(record.wimHost);
    if (Failed(hr)) return Finish(call, hr, message);
  }
  EmptyFolder(record.mountHost);
  // The image is unmounted; a record that could not be dropped is not this
  // call's failure.
  static_cast<void>(MountRegistry::Update([&](std::vector<MountRecord>& all) {
    std::erase_if(all, [&](const MountRecord& r) { return r.id == record.id; });
  }));
  MountRegistry::DropManifest(record.id);
  ForgetWim(record.id);
  CloseSessionsOf(record.id);
  sink(100, 100);
  return Finish(call, S_OK, {},
                L"'" + record.mountPath + L"' unmounted, changes " + (Flags == DISM_COMMIT_IMAGE ? L"saved" : L"discarded"));
}

}  // namespace platform
