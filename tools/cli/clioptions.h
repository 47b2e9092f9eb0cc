#pragma once
// The options of kestrunex-cli, parsed in one place.
//
//   kestrunex-cli [--prefix DIR] [--source E:|FOLDER|FILE.iso] (--iso FOLDER | --usb F:\)
//                 [--compat] [--no-verify] [--yes | --no] [--help] [--version]
//
// --usb takes a drive (F:), a disk's device (/dev/sdb) or a virtual disk's
// image file; the latter two are resolved on the machine (usbtarget.h).

#include <string>
#include <vector>

struct CliOptions {
  // The prefix folder (its machine.ini declares the drives); empty: the
  // default prefix.
  std::string prefix;
  // The DVD: a drive root, a mounted disc's folder or an image file (see
  // sourceargument.h); empty: the first optical drive.
  std::wstring source;
  std::wstring isoFolder;  // ISO mode: the folder that receives the ISO file
  std::wstring usbRoot;    // USB mode: the root of the USB disk
  bool compatible = false;
  // Read the product back and check it after the last step (--no-verify: no).
  bool verify = true;
  // The answer to every question when no terminal can answer: 0 none, else
  // IDYES or IDNO.
  int answer = 0;
  bool help = false;
  bool version = false;

  int Mode() const;  // 1 ISO, 0 USB
};

// False with a message naming the offending argument, in the user's language.
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// "E:" or "e:\" -> "E:\"; other text unchanged.
std::wstring NormaliseDriveRoot(const std::wstring& text);
