#include "disk/usb/runhidden.h"

#include <cstdio>

#include "platform/process/process.h"

bool RunHidden(const std::wstring& commandLine, platform::DWORD* exitCode) {
  platform::Process process;
  platform::StartInfo info;
  info.output = nullptr;
  info.hidden = true;
  if (!process.Start(commandLine, info)) {
    std::printf("create process fail\n");
    std::fflush(stdout);
    return false;
  }
  if (process.Wait(platform::INFINITE) != platform::WAIT_OBJECT_0) return false;
  platform::DWORD code = 0;
  if (!process.GetExitCode(&code)) return false;
  if (exitCode) *exitCode = code;
  return true;
}
