// SPDX-License-Identifier: MIT
#include "ImagePage.h"

#include "RecordFile.h"
#include "WorkingImage.h"
#include "myfunc.h"

namespace kavoda {

bool readPage(RecordFile& image, std::int32_t offset,
              const std::function<void(int index, std::uint8_t value)>& show)
{
    image.seek(offset);
    for (int i = 0; i < kPageBytes; ++i) {
        if (image.atEnd())
            return true;
        show(i, image.readByte());
    }
    return false;
}

void writePage(RecordFile& image, std::int32_t offset,
               const std::function<std::string(int index)>& cellText)
{
    image.seek(offset);
    for (int i = 0; i < kPageBytes; ++i)
        image.writeByte(HexToByte(cellText(i)));
}

void loadImage(RecordFile& image, const std::string& source, const std::string& workingFile)
{
    // The copy is complete before it takes the working file's place, so a
    // source that cannot be read costs nothing. The working file itself as
    // the source copies onto itself.
    replaceWithCopy(source, workingFile, kMaxImageBytes);
    // The old image may already be closed, after a failed reopen; a Load
    // recovers from that.
    if (image.isOpen())
        image.close();
    image.assign(workingFile);
}

} // namespace kavoda
