#pragma once
// The one rule for naming a source on the command line: a drive ("E:",
// "e:\"), the folder a disc is mounted on ("/media/cdrom", the drive whose
// folder it is), or a disc image file ("win7.iso"), which becomes an optical
// drive of this process at the first free letter from D:.

#include <string>

struct SourceArgument {
  std::wstring root;       // "E:\"; empty when nothing could be made of the text
  bool addedImage = false; // the root is a drive made for an image file
  std::string error;       // why not (names the file or folder)
};

SourceArgument ResolveSourceArgument(const std::wstring& text);
