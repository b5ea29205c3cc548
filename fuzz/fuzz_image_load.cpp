// SPDX-License-Identifier: MIT
// Loading any file as the image: the working file becomes an exact copy,
// reads back byte by byte to its end and no further, and Save As writes the
// same bytes out again.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzFolder.h"
#include "IoError.h"
#include "RecordFile.h"
#include "WorkingImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string folder = kavoda::fuzz::scratchFolder();
    const std::string chosen = folder + "/chosen.bin";
    const std::string working = kavoda::joinPath(folder, kavoda::kWorkingFileName);
    const std::string saved = folder + "/saved.bin";
    std::ofstream(chosen, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    kavoda::replaceWithCopy(chosen, working);
    kavoda::RecordFile image(working);
    image.openExisting();
    if (image.size() != static_cast<std::int64_t>(size))
        std::abort();
    for (std::size_t i = 0; i < size; ++i) {
        if (image.atEnd() || image.readByte() != data[i])
            std::abort();
    }
    if (!image.atEnd())
        std::abort();
    try {
        image.readByte();
        std::abort();
    } catch (const kavoda::IoError& e) {
        if (e.code() != kavoda::kIoReadPastEnd)
            std::abort();
    }
    kavoda::saveImageCopy(image, saved);
    std::ifstream in(saved, std::ios::binary);
    const std::string copy{std::istreambuf_iterator<char>(in), {}};
    if (copy.size() != size || copy.compare(0, size, reinterpret_cast<const char*>(data), size) != 0)
        std::abort();
    return 0;
}
