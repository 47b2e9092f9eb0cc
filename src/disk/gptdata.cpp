#include "src/disk/gptdata.h"

#include <cstdio>
#include <cstring>

namespace gs {

namespace {

constexpr std::int64_t kGapThreshold = 0x200000;

// Type GUIDs as they lie on the disk (mixed-endian).
constexpr std::uint8_t kMsReserved[16] = {0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                          0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};
constexpr std::uint8_t kEfiSystem[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                                         0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
constexpr std::uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                         0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
constexpr std::uint8_t kRecovery[16] = {0xA4, 0xBB, 0x94, 0xDE, 0xD1, 0x06, 0x40, 0x4D,
                                        0xA1, 0x6A, 0xBF, 0xD5, 0x01, 0x79, 0xD6, 0xAC};

bool TypeIs(const platform::PARTITION_INFORMATION_EX& e, const std::uint8_t (&type)[16]) {
  return std::memcmp(&e.Gpt.PartitionType, type, 16) == 0;
}

// Offsets and lengths are below the disk's size (the reader checks them), so
// an end and a difference of two of them never overflow; a sum with the
// threshold could, on a disk near 2^63 bytes.
std::int64_t EndOf(const platform::PARTITION_INFORMATION_EX& e) { return e.StartingOffset + e.PartitionLength; }

}  // namespace

GPTData::GPTData(int number, const platform::disks::PhysicalDrive* handle) : DriveData(number, handle) {
  static_cast<void>(ReadLayout());  // unreadable: listed with no partitions
}

std::string GPTData::GetDiskId() {
  const platform::GUID& g = m_DiskId;
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

void GPTData::AddEntry(const platform::PARTITION_INFORMATION_EX& entry) {
  _Partition& p = Append();
  p.number = static_cast<int>(entry.PartitionNumber);
  wchar_t letter = 0;
  if (GetPartitionLetter(p.number, letter)) p.letter = std::wstring(1, letter);
  p.sizeMB = entry.PartitionLength / kBytesPerMB;
  p.layoutEntry = entry;
  if (TypeIs(entry, kMsReserved)) {
    p.kind = kKindMsReserved;
    p.fileSystem = L"Microsoft reserved partition";
  } else if (TypeIs(entry, kEfiSystem)) {
    p.kind = kKindEfiSystem;
    GetVolumeInfo(p, p.fileSystem, p.label);
    p.fileSystem = L"EFI system partition";
  } else if (TypeIs(entry, kBasicData) || TypeIs(entry, kRecovery)) {
    p.kind = kKindData;
    p.fileSystem = TypeIs(entry, kBasicData) ? L"BASIC data partition" : L"Windows recovery environment partition";
    GetVolumeInfo(p, p.fileSystem, p.label);
  } else {
    p.kind = kKindUnused;
    p.fileSystem = kEntryUnused;
  }
}

bool GPTData::ReadLayout() {
  bool failed = false;
  platform::DWORD returned = 0;
  std::vector<std::uint8_t> buffer = QueryLayout(&failed, &returned);
  if (failed) return false;
  platform::DRIVE_LAYOUT_INFORMATION_EX header;
  std::memcpy(&header, buffer.data(), platform::kDriveLayoutHeaderSize);
  m_DiskId = header.Gpt.DiskId;
  m_Count = static_cast<int>(header.PartitionCount);
  Clear();
  auto entryAt = [&](int i) {
    platform::PARTITION_INFORMATION_EX e;
    std::memcpy(&e, buffer.data() + platform::kDriveLayoutHeaderSize + i * sizeof e, sizeof e);
    return e;
  };
  if (m_Count == 0) return true;
  AddEntry(entryAt(0));
  for (int i = 1; i < m_Count; ++i) {
    auto prev = entryAt(i - 1), cur = entryAt(i);
    if (cur.StartingOffset - EndOf(prev) > kGapThreshold) AppendGap(cur.StartingOffset - EndOf(prev));
    AddEntry(cur);
    if (i == m_Count - 1) {
      std::int64_t disk = GetDiskSize();
      if (disk - EndOf(cur) > kGapThreshold) AppendGap(disk - EndOf(cur));
    }
  }
  return true;
}

}  // namespace gs
