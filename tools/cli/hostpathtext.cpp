#include "tools/cli/hostpathtext.h"

#include "platform/fs/paths.h"
#include "platform/machine/machine.h"
#include "platform/text.h"

std::wstring HostPathText(const std::wstring& systemPath) {
  const wchar_t letter = platform::DriveLetterOf(systemPath);
  if (letter == 0) return systemPath;
  const auto drive = platform::CurrentMachine().Drive(letter);
  if (!drive) return systemPath;
  std::string host;
  // A volume's root by its device where the host has one (/dev/sdb1): what
  // a user of the host knows a stick or a disc by.
  if (!drive->hostDevice.empty() && drive->hostDevice.rfind("/dev/", 0) == 0 && platform::IsDriveRoot(systemPath))
    return platform::WideFromAnsi(drive->hostDevice) + L" (" + systemPath + L")";
  if (!drive->hostFolder.empty()) {
    if (!platform::ResolvePath(systemPath, host) || host.empty()) return systemPath;
    const std::wstring wide = platform::WideFromAnsi(host);
    return drive->hostFolder == "/" ? wide : wide + L" (" + systemPath + L")";
  }
  // No folder of the host shows the drive: a root names what it is read from.
  host = !drive->hostDevice.empty() ? drive->hostDevice : drive->image;
  if (host.empty() || !platform::IsDriveRoot(systemPath)) return systemPath;
  return platform::WideFromAnsi(host) + L" (" + systemPath + L")";
}
