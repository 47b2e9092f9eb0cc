#include "src/disk/mbrdata.h"

#include <algorithm>
#include <cstring>

#include "platform/disks/partitiontable.h"

namespace gs {

namespace {

constexpr int kPrimarySlots = 4;
constexpr int kSlotsPerRecord = 4;

bool IsContainer(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

std::int64_t EndOf(const platform::PARTITION_INFORMATION_EX& e) { return e.StartingOffset + e.PartitionLength; }

}  // namespace

MBRData::MBRData(int number, const platform::disks::PhysicalDrive* handle) : DriveData(number, handle) {
  static_cast<void>(ReadLayout());  // unreadable: listed with no partitions
}

bool MBRData::ReadGeometry() {
  if (!m_hDrive) return false;
  platform::DISK_GEOMETRY_EX g{};
  platform::DWORD returned = 0;
  if (!m_hDrive->IoControl(platform::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &g, sizeof g, &returned))
    return false;
  m_TracksPerCylinder = g.Geometry.TracksPerCylinder;
  m_SectorsPerTrack = g.Geometry.SectorsPerTrack;
  m_BytesPerSector = g.Geometry.BytesPerSector;
  return true;
}

void MBRData::GapIfAny(std::int64_t prevEnd, std::int64_t start, int kind) {
  const std::int64_t cylinder =
      std::int64_t(m_TracksPerCylinder) * std::int64_t(m_SectorsPerTrack) * std::int64_t(m_BytesPerSector);
  if (cylinder <= 0) return;
  if (start / cylinder - prevEnd / cylinder - 1 > 0) AppendGap(start - prevEnd, kind);
}

void MBRData::AddPartition(const Entry& entry, int kind) {
  _Partition& p = Append();
  p.kind = kind;
  p.number = static_cast<int>(entry.PartitionNumber);
  if (kind != kKindExtended) {
    wchar_t letter = 0;
    if (GetPartitionLetter(p.number, letter)) p.letter = std::wstring(1, letter);
  }
  p.sizeMB = entry.PartitionLength / kBytesPerMB;
  p.layoutEntry = entry;
  GetVolumeInfo(p, p.fileSystem, p.label);
}

void MBRData::AddExtended(const Entry& container, const std::vector<Entry>& entries, std::int64_t& prevEnd) {
  AddPartition(container, kKindExtended);
  GapIfAny(prevEnd, container.StartingOffset);
  if (m_Count <= 2 * kSlotsPerRecord - 1) {
    AppendGap(container.PartitionLength, kKindLogical);
    prevEnd = EndOf(container);
    return;
  }
  // The reader follows one chain of extended boot records: its logical
  // drives belong to the first container listed, never to a second one.
  std::vector<Entry> logical;
  if (!m_LogicalsListed)
    for (int i = kPrimarySlots; i < m_Count - 1; i += kSlotsPerRecord)
      if (entries[i].Mbr.PartitionType != 0) logical.push_back(entries[i]);
  if (logical.empty() && m_LogicalsListed) {
    AppendGap(container.PartitionLength, kKindLogical);
    prevEnd = EndOf(container);
    return;
  }
  m_LogicalsListed = true;
  auto startOf = [&](const Entry& e) { return std::max(e.StartingOffset, container.StartingOffset); };
  std::stable_sort(logical.begin(), logical.end(),
                   [&](const Entry& a, const Entry& b) { return startOf(a) < startOf(b); });
  std::int64_t innerEnd = container.StartingOffset;
  for (const Entry& e : logical) {
    GapIfAny(innerEnd, startOf(e));
    AddPartition(e, kKindLogical);
    innerEnd = EndOf(e);
  }
  if (!logical.empty()) GapIfAny(innerEnd, EndOf(container));
  prevEnd = EndOf(container);
}

bool MBRData::ReadLayout() {
  bool failed = false;
  platform::DWORD returned = 0;
  std::vector<std::uint8_t> buffer = QueryLayout(&failed, &returned);
  if (failed && returned != buffer.size()) return false;
  platform::DRIVE_LAYOUT_INFORMATION_EX header;
  std::memcpy(&header, buffer.data(), platform::kDriveLayoutHeaderSize);
  m_Signature = header.Mbr.Signature;
  m_Count = static_cast<int>(header.PartitionCount);
  m_LogicalsListed = false;
  Clear();
  if (!ReadGeometry()) return true;
  std::vector<Entry> entries(m_Count);
  for (int i = 0; i < m_Count; ++i)
    std::memcpy(&entries[i], buffer.data() + platform::kDriveLayoutHeaderSize + i * sizeof(Entry), sizeof(Entry));

  std::vector<Entry> primaries;
  for (int i = 0; i < std::min(m_Count, kPrimarySlots); ++i)
    if (entries[i].Mbr.PartitionType != 0) primaries.push_back(entries[i]);
  std::stable_sort(primaries.begin(), primaries.end(),
                   [](const Entry& a, const Entry& b) { return a.StartingOffset < b.StartingOffset; });
  std::int64_t prevEnd = 0;
  for (const Entry& e : primaries) {
    if (IsContainer(e.Mbr.PartitionType)) {
      AddExtended(e, entries, prevEnd);
    } else {
      GapIfAny(prevEnd, e.StartingOffset);
      AddPartition(e, kKindData);
      prevEnd = EndOf(e);
    }
  }
  GapIfAny(prevEnd, GetDiskSize());
  return true;
}

}  // namespace gs
