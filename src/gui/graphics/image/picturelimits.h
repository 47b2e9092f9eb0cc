#pragma once
// What a picture of the windows (a banner, a logo, a skin picture) may cost.
// The largest of them is a few hundred pixels a side; the limits leave ample
// room and keep a damaged or hostile file from asking for gigabytes. Every
// check here looks at headers only and runs before a decoder allocates, so
// a file that declares more than it holds fails before rows are made for it.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gs {

// A side longer than any screen, and 8 Mi pixels (32 MiB as 32-bit pixels).
inline constexpr std::uint32_t kMaxPictureSide = 4096;
inline constexpr std::uint64_t kMaxPicturePixels = 8ull << 20;
// A picture file larger than this is not one of ours.
inline constexpr std::size_t kMaxPictureFileBytes = 16u << 20;
// Deflate turns one byte into at most 1032: compressed pixel data cannot
// stand for more than this many raw bytes per byte of file.
inline constexpr std::uint64_t kMaxDeflateRatio = 1032;

bool FitsPictureLimits(std::uint64_t width, std::uint64_t height);

// A BMP file (BITMAPFILEHEADER and an info header): sides within the limits
// and, for uncompressed pixels, the rows it declares present in the file.
bool PlausibleBmp(std::string_view bytes);

// An icon or cursor file: every directory entry inside the file, and every
// picture in it (PNG or DIB) within the limits and present.
bool PlausibleIco(std::string_view bytes);

}  // namespace gs
