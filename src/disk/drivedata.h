#pragma once
// The partition model of one physical drive: an ordered list in which gaps of
// unpartitioned space are entries of their own, each partition with its
// letter, file-system name and label. GPT, MBR and RAW disks fill it their
// own way (gptdata.h, mbrdata.h, rawdata.h). Used from one thread only.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/disks/physicaldrive.h"
#include "src/disk/partition.h"

namespace gs {

// Drive kinds: the system's drive types 0-6, and 7 for a fixed disk on the
// USB bus.
inline constexpr int kDriveKindUnknown = 0;
inline constexpr int kDriveKindRemovable = 2;
inline constexpr int kDriveKindFixed = 3;
inline constexpr int kDriveKindUsbFixed = 7;

class DriveData {
 public:
  DriveData(int number, const platform::disks::PhysicalDrive* handle) : m_hDrive(handle), m_Number(number) {}
  virtual ~DriveData() = default;
  DriveData(const DriveData&) = delete;
  DriveData& operator=(const DriveData&) = delete;

  // Reads the file-system name and label of a partition: through its letter
  // (which takes the root form "E:\" from then on), else through its NT
  // name. Both empty and false when the volume cannot be read; an empty
  // label reads "NONAME".
  virtual bool GetVolumeInfo(_Partition& partition, std::wstring& fileSystem, std::wstring& label);
  [[nodiscard]] virtual bool ReadLayout() = 0;
  virtual std::string GetDiskId() = 0;
  virtual int GetPartitionStyle() = 0;
  // The drive letter whose DOS device is this disk's partition; false when
  // no letter shows it.
  virtual bool GetPartitionLetter(int partitionNumber, wchar_t& letter);

  int GetNumber() const { return m_Number; }
  std::size_t GetPartitionCount() const { return m_Partition.size(); }
  // Index < GetPartitionCount(); anything else is an internal error
  // (std::out_of_range, in every build).
  const _Partition& GetPartition(std::size_t index) const;
  int GetDriveKind() const;
  // The disk's size in bytes, asked of the device each time; 0 on failure.
  std::int64_t GetDiskSize() const;

 protected:
  // The layout with its 48-byte header and 144-byte entries, the buffer
  // grown by four entries while the device answers 122; empty on failure.
  // failed is set when the call failed with another error.
  std::vector<std::uint8_t> QueryLayout(bool* failed, platform::DWORD* returned) const;
  // A new entry at the list's end, its index set.
  _Partition& Append();
  // A gap entry of kind 5, "Entry Unused".
  void AppendGap(std::int64_t bytes, int kind = kKindUnused);
  void Clear() { m_Partition.clear(); }

  std::deque<std::unique_ptr<_Partition>> m_Partition;
  const platform::disks::PhysicalDrive* m_hDrive;  // borrowed from the DriveDevice
  int m_Number;
};

inline constexpr std::int64_t kBytesPerMB = 1024 * 1024;
inline constexpr wchar_t kEntryUnused[] = L"Entry Unused";
inline constexpr wchar_t kNoName[] = L"NONAME";

}  // namespace gs
