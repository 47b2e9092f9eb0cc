#pragma once
// What the product of a run must hold, built from the layers the run wrote
// (later layers cover earlier ones, as the copies overwrite): files compared
// by content with their source, serviced WIMs (their source copy was
// changed, so they are checked as WIMs), boot files that must be present.

#include <map>
#include <string>
#include <vector>

namespace verify {

struct ServicedWim {
  std::string relPath;        // "sources/boot.wim"
  // The file the product's copy must equal, verified as a WIM; empty: the
  // product's own file is verified (a stick, where it was serviced in place).
  std::string referenceHost;
};

struct PlannedFile {
  std::string name;  // relative path as the layer spells it ("Sources/Setup.exe")
  std::string host;  // the host file it must equal
  std::wstring system;  // or the system path of it (a drive's file, an image drive's too)
};

struct VerifyPlan {
  std::map<std::string, PlannedFile> files;  // keyed by the folded relative path
  std::vector<ServicedWim> wims;
  std::vector<std::string> bootFiles;  // relative paths that must be present
  int bootEntries = 0;                 // El Torito entries an ISO must have
};

// Adds every regular file under hostFolder at prefix + its relative path.
// False when the folder cannot be listed.
bool AddLayer(VerifyPlan& plan, const std::string& hostFolder, const std::string& prefix = "");
// The same for a folder by system path ("E:\\"), listed through the
// platform's file services, so a drive backed by an image is read as well.
bool AddSystemLayer(VerifyPlan& plan, const std::wstring& folder, const std::string& prefix = "");

// The shape of a run, in host paths.
struct RunShape {
  // The steps the run took, as its step list held them when it ran (after
  // any compatibility substitution), up to the end mark; each step's row in
  // the step table says which folder it copied where and which WIM it
  // serviced.
  std::vector<int> steps;
  bool is64 = true;
  std::string source;  // the DVD's root
  std::string other;   // Other\x64 or Other\x86 of the program folder
  std::string os;      // the program folder's OS (copied without compatibility mode)
  std::string efi;     // the program folder's efi (USB mode, 64-bit)
  std::string work;    // the run's work folder (ISO mode), still holding what went into the image
  std::wstring sourceRoot;  // or the DVD's drive root ("E:\\"), read through the platform
};

// The plan for a run's product: the folders the run's copy steps wrote, in
// their order (a later copy covers an earlier one), the WIMs its steps
// serviced, and what its format and image steps leave to boot from. False
// with error naming a folder that cannot be read.
bool PlanForRun(const RunShape& run, VerifyPlan& plan, std::string& error);

}  // namespace verify
