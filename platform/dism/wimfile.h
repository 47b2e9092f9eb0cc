#pragma once
// One open WIM file (RAII over wimlib's WIMStruct) with the few queries and
// changes image servicing needs. Paths inside the image use '/' and are
// matched without regard to case, as the system's own file systems do.
// Results are wimlib's error codes (0 = success); HResultFromWimlib turns
// them into result codes of the servicing interface.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dism/dismapi.h"

struct WIMStruct;

namespace platform::dism {

// Progress of a change: the phase and how far it is (done of total units).
enum class WimPhase { Update, WriteData, WriteMetadata };
using WimProgress = std::function<void(WimPhase phase, std::uint64_t done, std::uint64_t total)>;

struct WimAdd {
  std::string hostSource;  // file or folder on the host
  std::string wimTarget;   // "/Windows/INF/oem2.inf"
};

class WimFile {
 public:
  WimFile() = default;
  ~WimFile();
  WimFile(const WimFile&) = delete;
  WimFile& operator=(const WimFile&) = delete;

  // Opens the file; with write access it may then be changed in place.
  [[nodiscard]] int Open(const std::string& host, bool writeAccess);
  bool IsOpen() const { return wim_ != nullptr; }

  int ImageCount() const;
  std::wstring ImageName(int image) const;
  std::optional<std::wstring> Property(int image, const char* name) const;

  // Names of the entries of a folder in the image (WIMLIB_ERR_PATH_DOES_NOT_EXIST
  // when there is no such folder).
  int ListFolder(int image, const std::string& path, std::vector<std::string>& names);
  // Whether the path exists in the image; wimlib's code for a damaged image.
  int Exists(int image, const std::string& path, bool& exists);
  // Extracts one file into hostFolder (no folder structure); 0 on success.
  [[nodiscard]] int ExtractFile(int image, const std::string& path, const std::string& hostFolder);

  // Adds files and folders to the image and writes the file in place (new
  // data and metadata are appended; nothing else is rewritten).
  [[nodiscard]] int AddAndOverwrite(int image, const std::vector<WimAdd>& adds, const WimProgress& progress);

 private:
  WIMStruct* wim_ = nullptr;
  WimProgress progress_;
  friend struct WimProgressBridge;
};

// wimlib's code for a path the image does not hold.
inline constexpr int kWimPathDoesNotExist = 49;
// Our own code, beyond wimlib's: the header names data beyond the end of
// the file (a damaged or cut-off WIM), found before wimlib opens it.
inline constexpr int kWimHeaderOutOfFile = 1000;

// Initialises wimlib once per process (paths compared without regard to case).
int EnsureWimlib();
// wimlib's text for a code.
std::wstring WimlibText(int code);
// The result code for a wimlib failure, with message = what + ": " + wimlib's text.
HRESULT WimFailure(int code, int errnoValue, const std::wstring& what, std::wstring& message);
// The interface's result code for a wimlib code; errnoValue is consulted for
// failures of host file calls.
HRESULT HResultFromWimlib(int code, int errnoValue);

}  // namespace platform::dism
