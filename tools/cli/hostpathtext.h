#pragma once
// Paths in kestrunex-cli's lines as a Linux user knows them: the host path
// first, the program's drive path after it in brackets when it tells more
// ("/srv/iso/X.iso (G:\X.iso)"). A path under the drive that maps the whole
// host ("Z:\tmp\X.iso") is shown by its host path alone; a drive root by
// its device where it has one (/dev/sdb1), else, when no folder shows the
// drive, by its image; a path the machine cannot map by itself.

#include <string>

std::wstring HostPathText(const std::wstring& systemPath);
