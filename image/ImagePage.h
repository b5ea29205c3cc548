// SPDX-License-Identifier: MIT
// The page model: the image shown 256 bytes at a time as 16 rows of 16, read
// from and written back to the working file, without any window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kavoda {

class RecordFile;

inline constexpr int kPageBytes = 256;
inline constexpr int kRowBytes = 16;

// The image offset of the cell at row, column on page.
constexpr std::int32_t cellOffset(int page, int row, int column)
{
    return page * kPageBytes + row * kRowBytes + column;
}

// Reads the page at offset (page number times 256) from image, handing each
// byte to show with its index 0..255 as it is read. Returns true when the
// image ended before the page did. The end is tested before each byte only,
// so a page that ends exactly at the image's end returns false. A failing
// read raises IoError with the bytes before it already shown.
bool readPage(RecordFile& image, std::int32_t offset,
              const std::function<void(int index, std::uint8_t value)>& show);

// Writes the 256 cells of the page at offset into image, the text of cell
// index (0..255) converted with HexToByte. Empty cells give 0x00, so a page
// past the end extends the image. A bad cell raises ConversionError with
// the cells before it written.
void writePage(RecordFile& image, std::int32_t offset,
               const std::function<std::string(int index)>& cellText);

// Load: replaces workingFile with a complete copy of source and binds image
// to it, closed. On a failure image and workingFile stay as they were; a
// source over kMaxImageBytes is refused.
void loadImage(RecordFile& image, const std::string& source, const std::string& workingFile);

} // namespace kavoda
