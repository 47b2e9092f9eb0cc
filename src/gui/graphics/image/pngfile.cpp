#include "src/gui/graphics/image/pngfile.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/fs/readfile.h"
#include "src/gui/graphics/image/picturelimits.h"

namespace gs {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The file's bytes as libpng reads them; reading past the end is an error
// (a truncated file), never a read outside the buffer.
struct MemoryInput {
  std::string_view bytes;
  std::size_t pos = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (length > in->bytes.size() - in->pos) png_error(png, "truncated");
  std::memcpy(out, in->bytes.data() + in->pos, length);
  in->pos += length;
}

// Ancillary chunks a banner never needs may not cost more than this.
constexpr png_alloc_size_t kMaxChunkBytes = 1u << 20;

// libpng's own handlers print to stderr; a damaged skin picture is an
// ordinary failure for us, reported by the result alone. The error handler
// must not return: it jumps back to the setjmp in Decode/Encode.
[[noreturn]] void SilentError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void SilentWarning(png_structp, png_const_charp) {}

class ReadStruct {
 public:
  ReadStruct() {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, SilentWarning);
    if (png) info = png_create_info_struct(png);
  }
  ~ReadStruct() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
  ReadStruct(const ReadStruct&) = delete;
  ReadStruct& operator=(const ReadStruct&) = delete;
  png_structp png = nullptr;
  png_infop info = nullptr;
};

class WriteStruct {
 public:
  WriteStruct() {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, SilentWarning);
    if (png) info = png_create_info_struct(png);
  }
  ~WriteStruct() { png_destroy_write_struct(&png, info ? &info : nullptr); }
  WriteStruct(const WriteStruct&) = delete;
  WriteStruct& operator=(const WriteStruct&) = delete;
  png_structp png = nullptr;
  png_infop info = nullptr;
};

// libpng reports errors by longjmp, which skips destructors: Decode and
// Encode hold no object with one (all buffers belong to the caller) and
// return at once when the jump lands, reading none of their own locals.
//
// The header is checked before anything is allocated for the pixels: sides
// and pixel count within what a banner can use, and the compressed data the
// file can hold at all enough for the rows it declares. Rows of a
// non-interlaced picture are then decoded one by one and kept only as they
// arrive, so a truncated file never costs the rows it does not have.
bool Decode(MemoryInput& input, ReadStruct& rs, std::vector<png_byte>& rgba, std::vector<png_byte>& row,
            std::vector<png_bytep>& rows, png_uint_32& width, png_uint_32& height) {
  if (setjmp(png_jmpbuf(rs.png))) return false;
  png_set_read_fn(rs.png, &input, ReadFromMemory);
  png_set_user_limits(rs.png, kMaxPictureSide, kMaxPictureSide);
  png_set_chunk_malloc_max(rs.png, kMaxChunkBytes);
  png_set_chunk_cache_max(rs.png, 128);
  png_read_info(rs.png, rs.info);
  width = png_get_image_width(rs.png, rs.info);
  height = png_get_image_height(rs.png, rs.info);
  if (!FitsPictureLimits(width, height)) return false;
  const std::uint64_t rawBytes = static_cast<std::uint64_t>(height) * (png_get_rowbytes(rs.png, rs.info) + 1);
  if (rawBytes > kMaxDeflateRatio * input.bytes.size()) return false;
  png_set_expand(rs.png);
  png_set_strip_16(rs.png);
  png_set_gray_to_rgb(rs.png);
  png_set_add_alpha(rs.png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(rs.png);
  png_read_update_info(rs.png, rs.info);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  if (png_get_rowbytes(rs.png, rs.info) != rowBytes) return false;
  if (passes > 1) {
    // Every pass writes into every row: the whole picture must exist first.
    rgba.resize(rowBytes * height);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = rgba.data() + static_cast<std::size_t>(y) * rowBytes;
    png_read_image(rs.png, rows.data());
  } else {
    row.resize(rowBytes);
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(rs.png, row.data(), nullptr);
      rgba.insert(rgba.end(), row.begin(), row.end());
    }
  }
  png_read_end(rs.png, nullptr);
  return true;
}

bool Encode(std::FILE* file, WriteStruct& ws, std::vector<png_bytep>& rows, png_uint_32 width, png_uint_32 height) {
  if (setjmp(png_jmpbuf(ws.png))) return false;
  png_init_io(ws.png, file);
  png_set_IHDR(ws.png, ws.info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(ws.png, ws.info);
  png_write_image(ws.png, rows.data());
  png_write_end(ws.png, nullptr);
  return true;
}

}  // namespace

bool DecodePng(std::string_view bytes, GsBitmap& bitmap) {
  if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) return false;
  ReadStruct rs;
  if (!rs.png || !rs.info) return false;
  MemoryInput input{bytes};
  std::vector<png_byte> rgba, row;
  std::vector<png_bytep> rows;
  png_uint_32 width = 0, height = 0;
  if (!Decode(input, rs, rgba, row, rows, width, height)) return false;

  GsBitmap result(static_cast<int>(width), static_cast<int>(height));
  const png_byte* p = rgba.data();
  for (int y = 0; y < result.Height(); ++y)
    for (int x = 0; x < result.Width(); ++x, p += 4) result.At(x, y) = MakePixel(p[3], p[0], p[1], p[2]);
  bitmap = std::move(result);
  return true;
}

bool LoadPng(const std::string& hostPath, GsBitmap& bitmap) {
  std::string bytes;
  if (platform::ReadHostFile(hostPath, bytes, kMaxPictureFileBytes) != platform::ERROR_SUCCESS) return false;
  return DecodePng(bytes, bitmap);
}

bool SavePng(const std::string& hostPath, const GsBitmap& bitmap) {
  if (bitmap.Empty()) return false;
  const auto width = static_cast<png_uint_32>(bitmap.Width());
  const auto height = static_cast<png_uint_32>(bitmap.Height());
  std::vector<png_byte> rgba(static_cast<std::size_t>(width) * height * 4);
  png_byte* p = rgba.data();
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x, p += 4) {
      const Pixel px = bitmap.At(x, y);
      p[0] = RedOf(px);
      p[1] = GreenOf(px);
      p[2] = BlueOf(px);
      p[3] = bitmap.Is32Bit() ? AlphaOf(px) : 0xFF;
    }
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = rgba.data() + static_cast<std::size_t>(y) * width * 4;

  FilePtr file(std::fopen(hostPath.c_str(), "wb"));
  if (!file) return false;
  WriteStruct ws;
  if (!ws.png || !ws.info) return false;
  const bool ok = Encode(file.get(), ws, rows, width, height);
  return std::fflush(file.get()) == 0 && ok;
}

}  // namespace gs
