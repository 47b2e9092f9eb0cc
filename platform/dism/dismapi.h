#pragma once
// The image servicing interface of the platform: mount one image of a WIM
// file into a folder, add driver packages to it, commit, unmount.
//
// What this platform does:
// - Mounting does not extract the image. The mount folder gets an empty
//   "Windows" folder at once; whatever is read from the image (the names of
//   the published "Windows\INF\oem<N>.inf" files, the driver store, the
//   image's architecture) is read from the WIM itself. Files placed in the
//   mount folder are additions to the image.
// - DismAddDriver parses and checks the driver package and stages it the way
//   Windows 7 does: its files into
//   "Windows\System32\DriverStore\FileRepository\<inf>_<arch>_neutral_<hash>\"
//   and the INF published as "Windows\INF\oem<N>.inf", N the lowest number no
//   file in the image or the mount folder uses. It installs the package as
//   the system does offline: its binaries to their destination folders, its
//   services and device bindings into the image's SYSTEM hive (see
//   driverregistration.h). An image without a readable SYSTEM hive fails
//   the first add of a session, and nothing of it changes.
// - Committing adds what the mount folder holds beyond what was committed
//   before to the image in place (the WIM is appended to, never re-captured),
//   so untouched files keep their metadata and the other images stay as they
//   were.
// - Mounts are recorded in "dism-mounts.txt" in the machine's prefix folder,
//   so that a later process lists them and can clean up after a crash.
//
// Paths are system paths ("C:\ProgramData\...", "E:\sources\boot.wim").
// Every call returns a result code, negative on failure; the failure's text
// is then available through DismGetLastErrorMessage on the same thread.
// Calls may come from any thread; they are serialised inside.

#include <cstdint>

#include "platform/types.h"

namespace platform {

using HRESULT = std::int32_t;
using DismSession = UINT;
using HANDLE = void*;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr bool Failed(HRESULT hr) { return hr < 0; }
// An error number as a result code: 0x8007xxxx.
inline constexpr HRESULT HResultFromWin32(DWORD error) {
  return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}

// The result codes of this interface besides HResultFromWin32(error number).
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISMAPI_E_DISMAPI_NOT_INITIALIZED = static_cast<HRESULT>(0xC0040001u);
inline constexpr HRESULT DISMAPI_E_INVALID_DISM_SESSION = static_cast<HRESULT>(0xC0040004u);
inline constexpr HRESULT DISMAPI_E_INVALID_IMAGE_INDEX = static_cast<HRESULT>(0xC0040005u);
inline constexpr HRESULT DISMAPI_E_INVALID_IMAGE_NAME = static_cast<HRESULT>(0xC0040006u);
inline constexpr HRESULT DISMAPI_E_UNABLE_TO_UNMOUNT_IMAGE_PATH = static_cast<HRESULT>(0xC0040007u);
inline constexpr HRESULT DISMAPI_E_IMAGE_ALREADY_MOUNTED = static_cast<HRESULT>(0xC1420127u);
inline constexpr HRESULT DISMAPI_E_NO_ARCHITECTURE = static_cast<HRESULT>(0xC1420128u);
// Driver packages: the INF cannot be parsed, is not a driver INF, or offers
// no models for the image's architecture.
inline constexpr HRESULT SPAPI_E_GENERAL_SYNTAX = static_cast<HRESULT>(0x800F0003u);
inline constexpr HRESULT SPAPI_E_WRONG_INF_STYLE = static_cast<HRESULT>(0x800F0100u);
inline constexpr HRESULT SPAPI_E_NO_COMPATIBLE_MODELS = static_cast<HRESULT>(0x800F0203u);

inline constexpr DWORD ERROR_BAD_FORMAT = 11;
inline constexpr DWORD ERROR_BADDB = 1009;
inline constexpr DWORD ERROR_ALREADY_INITIALIZED = 1247;
inline constexpr DWORD ERROR_NOT_FOUND = 1168;
inline constexpr DWORD ERROR_FILE_CORRUPT = 1392;

struct DismString {
  const wchar_t* Value;
};

enum DismLogLevel { DismLogErrors = 0, DismLogErrorsWarnings = 1, DismLogErrorsWarningsInfo = 2 };
enum DismImageIdentifier { DismImageIndex = 0, DismImageName = 1 };
enum DismMountMode { DismReadWrite = 0, DismReadOnly = 1 };
enum DismMountStatus { DismMountStatusOk = 0, DismMountStatusNeedsRemount = 1, DismMountStatusInvalid = 2 };
enum DismImageType { DismImageTypeUnsupported = -1, DismImageTypeWim = 0 };

// Processor architectures as images report them.
inline constexpr UINT DismArchitectureIntel = 0;
inline constexpr UINT DismArchitectureIa64 = 6;
inline constexpr UINT DismArchitectureAmd64 = 9;
inline constexpr UINT DismArchitectureUnknown = 0xFFFF;

struct DismImageInfo {
  DismImageType ImageType;
  UINT ImageIndex;
  const wchar_t* ImageName;
  const wchar_t* ImageDescription;
  std::uint64_t ImageSize;  // bytes of file data in the image
  UINT Architecture;        // DismArchitecture*; Unknown when the WIM does not say
};

struct DismMountedImageInfo {
  const wchar_t* MountPath;
  const wchar_t* ImageFilePath;
  UINT ImageIndex;
  DismMountMode MountMode;
  DismMountStatus MountStatus;  // Invalid when the folder or the WIM is gone or changed
};

inline constexpr DWORD DISM_MOUNT_READWRITE = 0;
inline constexpr DWORD DISM_MOUNT_READONLY = 1;
inline constexpr DWORD DISM_COMMIT_IMAGE = 0;
inline constexpr DWORD DISM_DISCARD_IMAGE = 1;

// Progress: Current of Total; called on the calling thread during the call.
using DISM_PROGRESS_CALLBACK = void (*)(UINT Current, UINT Total, void* UserData);

// Once per process until DismShutdown; a second call fails with
// HResultFromWin32(ERROR_ALREADY_INITIALIZED). LogFilePath (may be null:
// no log) receives one line per call at the level asked for. ScratchDirectory
// is not needed on this platform and ignored.
[[nodiscard]] HRESULT DismInitialize(DismLogLevel LogLevel, const wchar_t* LogFilePath, const wchar_t* ScratchDirectory);
// Closes every open session; mounts stay recorded.
[[nodiscard]] HRESULT DismShutdown();

// The text of the last failure on this thread (caller frees with
// DismDelete); S_FALSE and null when there is none.
[[nodiscard]] HRESULT DismGetLastErrorMessage(DismString** ErrorMessage);
// Frees a structure this interface returned; E_INVALIDARG for anything else.
HRESULT DismDelete(void* DismStructure);

// The images of a WIM file: an array of Count entries (free with DismDelete).
[[nodiscard]] HRESULT DismGetImageInfo(const wchar_t* ImageFilePath, DismImageInfo** ImageInfo, UINT* Count);
[[nodiscard]] HRESULT DismGetMountedImageInfo(DismMountedImageInfo** MountedImageInfo, UINT* Count);
// Forgets invalid mounts. Their folders, when they still exist, are emptied
// and then removed; a folder that was empty already, or that cannot be
// emptied entirely, stays.
[[nodiscard]] HRESULT DismCleanupMountpoints();

// Mounts image ImageIndex (or the image named ImageName) of the WIM into the
// existing, empty folder MountPath. CancelEvent must be null.
[[nodiscard]] HRESULT DismMountImage(const wchar_t* ImageFilePath, const wchar_t* MountPath, UINT ImageIndex,
                       const wchar_t* ImageName, DismImageIdentifier ImageIdentifier, DWORD Flags,
                       HANDLE CancelEvent, DISM_PROGRESS_CALLBACK Progress, void* UserData);
// A session on a mounted image (ImagePath = its mount folder). The Windows
// folder and system drive arguments must be null.
[[nodiscard]] HRESULT DismOpenSession(const wchar_t* ImagePath, const wchar_t* WindowsDirectory, const wchar_t* SystemDrive,
                        DismSession* Session);
// Stages one driver package (path of its INF) in a read-write mount.
// Signatures are not checked on this platform: ForceUnsigned is accepted
// either way. A package already in the image succeeds without a new copy.
[[nodiscard]] HRESULT DismAddDriver(DismSession Session, const wchar_t* DriverPath, int ForceUnsigned);
// Writes the staged additions into the WIM; the session stays open.
[[nodiscard]] HRESULT DismCommitImage(DismSession Session, DWORD Flags, HANDLE CancelEvent, DISM_PROGRESS_CALLBACK Progress,
                        void* UserData);
[[nodiscard]] HRESULT DismCloseSession(DismSession Session);
// Commits (DISM_COMMIT_IMAGE, read-write mounts only) or discards the staged
// changes, forgets the mount, closes its sessions and empties the folder.
[[nodiscard]] HRESULT DismUnmountImage(const wchar_t* MountPath, DWORD Flags, HANDLE CancelEvent, DISM_PROGRESS_CALLBACK Progress,
                         void* UserData);

}  // namespace platform
