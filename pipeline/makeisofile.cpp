#include "pipeline/makeisofile.h"

#include <cwctype>
#include <system_error>
#include <thread>

#include "disk/tracelog.h"
#include "platform/lasterror.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kPipeBufferBytes = 2500000;
constexpr platform::DWORD kReadChunkBytes = 4000;
constexpr int kFullPercent = 100;
constexpr int kNumberChars = 3;
// How long the reader waits for output before it looks at the tool and the
// cancel event again: the tool may end, or a child of it keep the pipe open,
// without the pipe ever reporting the end.
constexpr platform::DWORD kPollMs = 100;

const std::wstring kPrefix = L"[MakeISOFile::MakeISOThread]";

}  // namespace

int IsoProgressValue(std::wstring_view chunk) {
  const std::size_t p = chunk.find(L"% complete");
  if (p == std::wstring_view::npos) return -1;
  std::wstring_view number = p >= kNumberChars ? chunk.substr(p - kNumberChars, kNumberChars) : chunk.substr(0, p);
  std::size_t i = 0;
  while (i < number.size() && std::iswspace(number[i])) ++i;
  bool negative = false;
  if (i < number.size() && (number[i] == L'-' || number[i] == L'+')) negative = number[i++] == L'-';
  int value = 0;
  for (; i < number.size() && number[i] >= L'0' && number[i] <= L'9'; ++i) value = value * 10 + (number[i] - L'0');
  return negative ? -value : value;
}

MakeISOFile& MakeISOFile::Instance() {
  static MakeISOFile instance;
  return instance;
}

void MakeISOFile::SetCmd(const std::wstring& cmd) {
  {
    std::lock_guard lock(m_Lock);
    m_cmd = cmd;
  }
  TraceLog(L"[MakeISOFile::SetCmd - m_cmd]" + cmd);
}

void MakeISOFile::BeginRun() {
  std::lock_guard lock(m_Lock);
  m_Cancel = std::make_shared<platform::Event>(false);
  m_RunBegun = true;
}

void MakeISOFile::Cancle() {
  if (auto event = CurrentEvent()) event->Set();
  TraceLog(L"MakeISOFile::Cancle");
}

void MakeISOFile::SetBeforeStartHook(std::function<void()> hook) {
  std::lock_guard lock(m_Lock);
  m_BeforeStart = std::move(hook);
}

std::shared_ptr<platform::Event> MakeISOFile::CurrentEvent() {
  std::lock_guard lock(m_Lock);
  return m_Cancel;
}

bool MakeISOFile::Excute(Callback callback, void* data) {
  TraceLog(L"[MakeISOFile::Excute]- start");
  {
    std::lock_guard lock(m_Lock);
    if (!m_RunBegun) m_Cancel = std::make_shared<platform::Event>(false);
    m_RunBegun = false;
  }
  m_bSuccess = true;
  try {
    std::thread reader(&MakeISOFile::MakeISOThread, this, callback, data);
    reader.join();
  } catch (const std::system_error&) {
    return false;
  }
  return m_bSuccess;
}

void MakeISOFile::Fail(Callback callback, void* data, platform::DWORD exitCode) {
  m_bSuccess = false;
  callback(0, data);
  TraceLog(kPrefix + L"-MakeISOFile  fail");
  TraceLog(kPrefix + L"-Exit Code:" + std::to_wstring(exitCode));
}

bool MakeISOFile::AwaitEnd(platform::Process& tool, platform::Pipe& pipe, const platform::Event& cancel,
                           Callback callback, void* data) {
  // The tool may write more after its last progress line: the pipe is kept
  // drained while it ends, or a full pipe would hold it (and this thread)
  // until a cancel.
  char buffer[kReadChunkBytes];
  bool pipeOpen = true;
  while (tool.Wait(pipeOpen ? 0 : kPollMs) != platform::WAIT_OBJECT_0) {
    if (cancel.IsSet()) {
      callback(0, data);
      tool.Terminate(0);
      return false;
    }
    if (!pipeOpen || pipe.WaitForData(kPollMs) != platform::WAIT_OBJECT_0) continue;
    platform::DWORD read = 0;
    if (!pipe.Read(buffer, kReadChunkBytes, &read)) pipeOpen = false;  // every write end is closed
  }
  return true;
}

void MakeISOFile::MakeISOThread(Callback callback, void* data) {
  TraceLog(L"[MakeISOFile::Excute]- MakeISOThread start");
  const std::shared_ptr<platform::Event> cancel = CurrentEvent();
  std::wstring cmd;
  std::function<void()> beforeStart;
  {
    std::lock_guard lock(m_Lock);
    cmd = m_cmd;
    beforeStart = m_BeforeStart;
  }
  platform::Pipe pipe;
  if (!pipe.Create(kPipeBufferBytes)) {
    m_bSuccess = false;
    TraceLog(kPrefix + L"- CreatePipe fail:" + std::to_wstring(platform::GetLastError()));
    return;
  }
  TraceLog(cmd);
  if (cmd.size() >= platform::kMaxCommandLine) {
    m_bSuccess = false;
    TraceLog(kPrefix + L"- command line too long:" + std::to_wstring(cmd.size()));
    return;
  }
  if (cancel->IsSet()) {
    callback(0, data);
    TraceLog(kPrefix + L"- cancelled before CreateProcess");
    return;
  }
  if (beforeStart) beforeStart();

  platform::StartInfo info;
  info.output = &pipe;
  info.hidden = true;
  platform::Process tool;
  if (!tool.Start(cmd, info)) {
    m_bSuccess = false;
    TraceLog(kPrefix + L"- CreateProcess fail:" + std::to_wstring(platform::GetLastError()));
    return;
  }
  TraceLog(kPrefix + L"- CreateProcess");
  // Only the tool holds the write end now, so its end is also the pipe's.
  pipe.CloseWriteEnd();

  int last = 0;
  char buffer[kReadChunkBytes];
  for (;;) {
    platform::DWORD code = 0;
    if (tool.GetExitCode(&code) && code != 0 && code != platform::STILL_ACTIVE) {
      Fail(callback, data, code);
      return;
    }
    if (cancel->IsSet()) {
      callback(0, data);
      tool.Terminate(0);
      return;
    }
    if (pipe.WaitForData(kPollMs) == platform::WAIT_TIMEOUT) {
      if (code == 0) break;  // ended well, and nothing more to read
      continue;
    }
    TraceLog(kPrefix + L"- ReadPipe");
    platform::DWORD read = 0;
    if (!pipe.Read(buffer, kReadChunkBytes, &read)) {
      TraceLog(kPrefix + L"- ReadPipe fail");
      break;
    }
    const std::wstring chunk = platform::WideFromAnsi(std::string_view(buffer, read));
    TraceLog(chunk);
    const int value = IsoProgressValue(chunk);
    if (value > last) {
      callback(value, data);
      last = value;
      if (value == kFullPercent) break;
    }
  }
  // The ISO is complete only when the tool has ended, and a tool that fails
  // after its last line must not read as a success.
  if (!AwaitEnd(tool, pipe, *cancel, callback, data)) return;
  platform::DWORD code = 0;
  if (tool.GetExitCode(&code) && code != 0) Fail(callback, data, code);
}
