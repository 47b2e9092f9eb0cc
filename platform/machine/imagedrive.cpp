#include "platform/machine/imagedrive.h"

#include <filesystem>

#include "platform/image/imagevolume.h"
#include "platform/lasterror.h"

namespace platform {

namespace {
constexpr wchar_t kFirstLetter = L'D';
constexpr wchar_t kLastLetter = L'Z';
}  // namespace

bool CompleteImageDrive(DriveDecl& drive, std::string& error) {
  if (drive.driveType != DRIVE_CDROM && drive.driveType != DRIVE_FIXED) {
    error = "a drive with an image is an optical drive (type = cdrom)";
    return false;
  }
  drive.driveType = DRIVE_CDROM;
  auto volume = image::OpenSharedVolume(drive.image, error, drive.invokersImage);
  if (!volume) return false;
  if (drive.label.empty()) drive.label = volume->tree().label;
  if (drive.fileSystem.empty()) drive.fileSystem = volume->tree().fileSystem;
  drive.hostFileSystem = "image";
  drive.hostFolder.clear();
  if (!drive.totalBytes) drive.totalBytes = volume->Size();
  drive.freeBytes = 0;
  return true;
}

wchar_t AddImageDrive(const std::string& hostPath, std::string& error) {
  Machine& machine = CurrentMachine();
  std::error_code ec;
  std::string image = std::filesystem::absolute(hostPath, ec).lexically_normal().string();
  if (ec) image = hostPath;
  for (const DriveDecl& added : machine.Drives())
    if (added.givenImage && added.image == image) return added.letter;
  wchar_t letter = kFirstLetter;
  while (letter <= kLastLetter && machine.Drive(letter)) ++letter;
  if (letter > kLastLetter) {
    error = hostPath + ": every drive letter from D: to Z: is taken";
    return 0;
  }
  DriveDecl drive;
  drive.letter = letter;
  drive.driveType = DRIVE_CDROM;
  drive.invokersImage = true;  // a command line's file: the user's
  drive.givenImage = true;
  drive.image = image;
  if (!CompleteImageDrive(drive, error)) return 0;
  machine.AddDrive(drive);
  return letter;
}

std::string GivenImageOf(wchar_t letter) {
  const std::optional<DriveDecl> drive = CurrentMachine().Drive(letter);
  return drive && drive->givenImage ? drive->image : std::string();
}

bool ImageVolumeInformation(const DriveDecl& drive, std::wstring* label, std::wstring* fileSystem) {
  std::string error;
  if (!image::OpenSharedVolume(drive.image, error, drive.invokersImage)) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  if (label) *label = drive.label;
  if (fileSystem) *fileSystem = drive.fileSystem;
  return true;
}

bool ImageDiskSpace(const DriveDecl& drive, std::uint64_t* freeToCaller, std::uint64_t* total, std::uint64_t* totalFree) {
  std::string error;
  auto volume = image::OpenSharedVolume(drive.image, error, drive.invokersImage);
  if (!volume) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  if (freeToCaller) *freeToCaller = 0;
  if (totalFree) *totalFree = 0;
  if (total) *total = drive.totalBytes ? *drive.totalBytes : volume->Size();
  return true;
}

}  // namespace platform
