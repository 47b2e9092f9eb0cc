#pragma once
// The disk structures of the system's device queries, byte for byte: callers
// size their buffers by these layouts (a 48-byte layout header followed by
// 144-byte partition entries), so the sizes are checked at compile time.

#include <cstdint>

#include "platform/machine/deviceio.h"
#include "platform/types.h"

namespace platform {

inline constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY_EX = 0x000700A0;
inline constexpr DWORD IOCTL_DISK_GET_DRIVE_LAYOUT_EX = 0x00070050;

inline constexpr DWORD PARTITION_STYLE_MBR = 0;
inline constexpr DWORD PARTITION_STYLE_GPT = 1;
inline constexpr DWORD PARTITION_STYLE_RAW = 2;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

struct DISK_PARTITION_INFO {
  DWORD SizeOfPartitionInfo;
  DWORD PartitionStyle;
  union {
    struct {
      DWORD Signature;
      DWORD CheckSum;
    } Mbr;
    struct {
      GUID DiskId;
    } Gpt;
  };
};
static_assert(sizeof(DISK_PARTITION_INFO) == 24);

struct DISK_GEOMETRY_EX {
  DISK_GEOMETRY Geometry;
  std::int64_t DiskSize;
  // The partition information follows the size; the system appends detection
  // information after it, which nothing here asks for.
  DISK_PARTITION_INFO Partition;
};
static_assert(sizeof(DISK_GEOMETRY_EX) == 56);

struct PARTITION_INFORMATION_MBR {
  std::uint8_t PartitionType;
  std::uint8_t BootIndicator;
  std::uint8_t RecognizedPartition;
  DWORD HiddenSectors;
  GUID PartitionId;
};
static_assert(sizeof(PARTITION_INFORMATION_MBR) == 24);

struct PARTITION_INFORMATION_GPT {
  GUID PartitionType;
  GUID PartitionId;
  std::uint64_t Attributes;
  char16_t Name[36];
};
static_assert(sizeof(PARTITION_INFORMATION_GPT) == 112);

struct PARTITION_INFORMATION_EX {
  DWORD PartitionStyle;
  std::int64_t StartingOffset;
  std::int64_t PartitionLength;
  DWORD PartitionNumber;
  std::uint8_t RewritePartition;
  std::uint8_t IsServicePartition;
  union {
    PARTITION_INFORMATION_MBR Mbr;
    PARTITION_INFORMATION_GPT Gpt;
  };
};
static_assert(sizeof(PARTITION_INFORMATION_EX) == 144);

struct DRIVE_LAYOUT_INFORMATION_MBR {
  DWORD Signature;
  DWORD CheckSum;
};

struct DRIVE_LAYOUT_INFORMATION_GPT {
  GUID DiskId;
  std::int64_t StartingUsableOffset;
  std::int64_t UsableLength;
  DWORD MaxPartitionCount;
};
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_GPT) == 40);

struct DRIVE_LAYOUT_INFORMATION_EX {
  DWORD PartitionStyle;
  DWORD PartitionCount;
  union {
    DRIVE_LAYOUT_INFORMATION_MBR Mbr;
    DRIVE_LAYOUT_INFORMATION_GPT Gpt;
  };
  PARTITION_INFORMATION_EX PartitionEntry[1];
};
inline constexpr DWORD kDriveLayoutHeaderSize = 48;
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_EX) == kDriveLayoutHeaderSize + sizeof(PARTITION_INFORMATION_EX));

}  // namespace platform
