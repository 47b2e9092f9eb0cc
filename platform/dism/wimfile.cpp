#include "platform/dism/wimfile.h"

#include <wimlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/lasterror.h"
#include "platform/littleendian.h"
#include "platform/text.h"

namespace platform::dism {

static_assert(kWimPathDoesNotExist == WIMLIB_ERR_PATH_DOES_NOT_EXIST);

namespace {

constexpr DWORD kErrorWriteFault = 29;
constexpr DWORD kErrorReadFault = 30;
constexpr HRESULT kUnspecifiedFailure = static_cast<HRESULT>(0x80004005u);
constexpr size_t kMagicBytes = 8;
constexpr char kWimMagic[kMagicBytes] = {'M', 'S', 'W', 'I', 'M', 0, 0, 0};
constexpr char kPipableWimMagic[kMagicBytes] = {'W', 'L', 'P', 'W', 'M', 0, 0, 0};

// The fixed header of a WIM: four resource headers (blob table, XML data,
// boot metadata, integrity table) of 24 bytes each: a 7-byte size in the
// file, a flags byte, an 8-byte offset and an 8-byte original size.
constexpr size_t kHeaderBytes = 208;
constexpr size_t kResourceHeaderOffsets[] = {48, 72, 96, 124};

// Whether every resource the header names lies inside the file. wimlib
// trusts some of these offsets (the integrity table's above all) when it
// appends to the file, so a damaged one would make a commit seek and write
// far beyond the end.
bool ResourcesInsideFile(const unsigned char* header, std::uint64_t fileSize) {
  for (size_t at : kResourceHeaderOffsets) {
    const std::uint64_t size = ReadLittleEndian(header + at, 7);
    const std::uint64_t offset = ReadLittleEndian(header + at + 8, 8);
    if (size == 0 && offset == 0) continue;
    if (offset < kHeaderBytes || offset > fileSize || size > fileSize - offset) return false;
  }
  return true;
}

int CollectName(const wimlib_dir_entry* entry, void* ctx) {
  static_cast<std::vector<std::string>*>(ctx)->push_back(entry->filename ? entry->filename : "");
  return 0;
}

int Ignore(const wimlib_dir_entry*, void*) { return 0; }

}  // namespace

struct WimProgressBridge {
  static wimlib_progress_status Call(wimlib_progress_msg msg, wimlib_progress_info* info, void* ctx) {
    auto* self = static_cast<WimFile*>(ctx);
    if (!self->progress_) return WIMLIB_PROGRESS_STATUS_CONTINUE;
    switch (msg) {
      case WIMLIB_PROGRESS_MSG_UPDATE_END_COMMAND:
        self->progress_(WimPhase::Update, info->update.completed_commands, info->update.total_commands);
        break;
      case WIMLIB_PROGRESS_MSG_WRITE_STREAMS:
        self->progress_(WimPhase::WriteData, info->write_streams.completed_bytes, info->write_streams.total_bytes);
        break;
      case WIMLIB_PROGRESS_MSG_WRITE_METADATA_END:
        self->progress_(WimPhase::WriteMetadata, 1, 1);
        break;
      default:
        break;
    }
    return WIMLIB_PROGRESS_STATUS_CONTINUE;
  }
};

int EnsureWimlib() {
  static std::once_flag once;
  static int result = 0;
  std::call_once(once, [] { result = wimlib_global_init(WIMLIB_INIT_FLAG_DEFAULT_CASE_INSENSITIVE); });
  return result;
}

std::wstring WimlibText(int code) {
  if (code == kWimHeaderOutOfFile)
    return L"The WIM header is damaged: it names data beyond the end of the file.";
  const char* text = wimlib_get_error_string(static_cast<wimlib_error_code>(code));
  return WideFromAnsi(text ? text : "unknown error");
}

HRESULT HResultFromWimlib(int code, int errnoValue) {
  switch (code) {
    case WIMLIB_ERR_SUCCESS: return S_OK;
    case WIMLIB_ERR_OPEN:
    case WIMLIB_ERR_STAT:
    case WIMLIB_ERR_OPENDIR:
      return HResultFromWin32(errnoValue ? ErrorFromErrno(errnoValue) : ERROR_FILE_NOT_FOUND);
    case WIMLIB_ERR_NOT_A_WIM_FILE:
    case WIMLIB_ERR_INVALID_HEADER:
    case WIMLIB_ERR_UNKNOWN_VERSION:
    case WIMLIB_ERR_IS_SPLIT_WIM:
    case WIMLIB_ERR_INVALID_CHUNK_SIZE:
    case WIMLIB_ERR_INVALID_COMPRESSION_TYPE:
    case WIMLIB_ERR_WIM_IS_ENCRYPTED:
    case WIMLIB_ERR_INVALID_PIPABLE_WIM:
      return HResultFromWin32(ERROR_BAD_FORMAT);
    case WIMLIB_ERR_UNEXPECTED_END_OF_FILE:
    case WIMLIB_ERR_INVALID_LOOKUP_TABLE_ENTRY:
    case WIMLIB_ERR_INVALID_METADATA_RESOURCE:
    case WIMLIB_ERR_XML:
    case WIMLIB_ERR_DECOMPRESSION:
    case WIMLIB_ERR_INVALID_RESOURCE_HASH:
    case WIMLIB_ERR_INTEGRITY:
    case WIMLIB_ERR_INVALID_INTEGRITY_TABLE:
    case WIMLIB_ERR_METADATA_NOT_FOUND:
    case WIMLIB_ERR_RESOURCE_NOT_FOUND:
    case WIMLIB_ERR_WIM_IS_INCOMPLETE:
    case kWimHeaderOutOfFile:
      return HResultFromWin32(ERROR_FILE_CORRUPT);
    case WIMLIB_ERR_READ: return HResultFromWin32(errnoValue ? ErrorFromErrno(errnoValue) : kErrorReadFault);
    case WIMLIB_ERR_WRITE:
      return HResultFromWin32(errnoValue == ENOSPC || errnoValue == EDQUOT ? ERROR_DISK_FULL
                              : errnoValue == EFBIG                       ? ERROR_FILE_TOO_LARGE
                                                                          : kErrorWriteFault);
    case WIMLIB_ERR_NOMEM: return HResultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
    case WIMLIB_ERR_INVALID_IMAGE: return DISMAPI_E_INVALID_IMAGE_INDEX;
    case WIMLIB_ERR_PATH_DOES_NOT_EXIST: return HResultFromWin32(ERROR_PATH_NOT_FOUND);
    case WIMLIB_ERR_WIM_IS_READONLY: return HResultFromWin32(ERROR_ACCESS_DENIED);
    case WIMLIB_ERR_ALREADY_LOCKED: return HResultFromWin32(ERROR_SHARING_VIOLATION);
    case WIMLIB_ERR_ABORTED_BY_PROGRESS: return HResultFromWin32(ERROR_REQUEST_ABORTED);
    default: return kUnspecifiedFailure;
  }
}

HRESULT WimFailure(int code, int errnoValue, const std::wstring& what, std::wstring& message) {
  message = what + L": " + WimlibText(code);
  return HResultFromWimlib(code, errnoValue);
}

WimFile::~WimFile() {
  if (wim_) wimlib_free(wim_);
}

int WimFile::Open(const std::string& host, bool writeAccess) {
  if (int rc = EnsureWimlib()) return rc;
  if (wim_) {
    wimlib_free(wim_);
    wim_ = nullptr;
  }
  // A file that does not even start like a WIM is a format error, however
  // short it is.
  std::ifstream in(host, std::ios::binary);
  unsigned char header[kHeaderBytes] = {};
  char* bytes = reinterpret_cast<char*>(header);
  if (in && (!in.read(bytes, kMagicBytes) || (std::memcmp(bytes, kWimMagic, kMagicBytes) != 0 &&
                                             std::memcmp(bytes, kPipableWimMagic, kMagicBytes) != 0)))
    return WIMLIB_ERR_NOT_A_WIM_FILE;
  // A pipable WIM keeps its real header at the end; wimlib checks that one.
  std::error_code ec;
  const std::uint64_t fileSize = std::filesystem::file_size(host, ec);
  if (in && !ec && std::memcmp(bytes, kWimMagic, kMagicBytes) == 0 &&
      in.read(bytes + kMagicBytes, kHeaderBytes - kMagicBytes) && !ResourcesInsideFile(header, fileSize))
    return kWimHeaderOutOfFile;
  return wimlib_open_wim(host.c_str(), writeAccess ? WIMLIB_OPEN_FLAG_WRITE_ACCESS : 0, &wim_);
}

int WimFile::ImageCount() const {
  if (!wim_) return 0;
  wimlib_wim_info info{};
  wimlib_get_wim_info(wim_, &info);
  return static_cast<int>(info.image_count);
}

std::wstring WimFile::ImageName(int image) const {
  const char* name = wim_ ? wimlib_get_image_name(wim_, image) : nullptr;
  return WideFromAnsi(name ? name : "");
}

std::optional<std::wstring> WimFile::Property(int image, const char* name) const {
  const char* value = wim_ ? wimlib_get_image_property(wim_, image, name) : nullptr;
  if (!value) return std::nullopt;
  return WideFromAnsi(value);
}

int WimFile::ListFolder(int image, const std::string& path, std::vector<std::string>& names) {
  names.clear();
  return wimlib_iterate_dir_tree(wim_, image, path.c_str(), WIMLIB_ITERATE_DIR_TREE_FLAG_CHILDREN, CollectName,
                                 &names);
}

int WimFile::Exists(int image, const std::string& path, bool& exists) {
  int rc = wimlib_iterate_dir_tree(wim_, image, path.c_str(), 0, Ignore, nullptr);
  exists = rc == 0;
  return rc == WIMLIB_ERR_PATH_DOES_NOT_EXIST ? 0 : rc;
}

int WimFile::ExtractFile(int image, const std::string& path, const std::string& hostFolder) {
  const char* paths[] = {path.c_str()};
  return wimlib_extract_paths(wim_, image, hostFolder.c_str(), paths, 1,
                              WIMLIB_EXTRACT_FLAG_NO_PRESERVE_DIR_STRUCTURE | WIMLIB_EXTRACT_FLAG_NO_ACLS);
}

int WimFile::AddAndOverwrite(int image, const std::vector<WimAdd>& adds, const WimProgress& progress) {
  progress_ = progress;
  wimlib_register_progress_function(wim_, &WimProgressBridge::Call, this);
  std::vector<wimlib_update_command> commands(adds.size());
  for (size_t i = 0; i < adds.size(); ++i) {
    commands[i].op = WIMLIB_UPDATE_OP_ADD;
    commands[i].add.fs_source_path = const_cast<char*>(adds[i].hostSource.c_str());
    commands[i].add.wim_target_path = const_cast<char*>(adds[i].wimTarget.c_str());
    commands[i].add.config_file = nullptr;
    commands[i].add.add_flags = 0;
  }
  int rc = wimlib_update_image(wim_, image, commands.data(), commands.size(), WIMLIB_UPDATE_FLAG_SEND_PROGRESS);
  // FSYNC: "finished" must mean the data and the header that points at it
  // are on the disk, not only in the host's cache.
  if (rc == 0) rc = wimlib_overwrite(wim_, WIMLIB_WRITE_FLAG_FSYNC, 0);
  wimlib_register_progress_function(wim_, nullptr, nullptr);
  progress_ = nullptr;
  return rc;
}

}  // namespace platform::dism
