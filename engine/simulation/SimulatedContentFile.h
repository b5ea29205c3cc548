// SPDX-License-Identifier: MIT
// A simulated chip's content file: made erased when missing, its size
// checked, locked while the chip lives, written through at every stored
// write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavoda {

class ContentFile {
public:
    // Reads the file into cells (whose size is the chip's); throws PortError
    // when it cannot be used. A write-protected file gives a chip that is
    // read and refuses writes.
    ContentFile(const std::string& path, std::vector<std::uint8_t>& cells,
                std::string_view caption);
    ~ContentFile();
    ContentFile(const ContentFile&) = delete;
    ContentFile& operator=(const ContentFile&) = delete;

    void store(const std::uint8_t* bytes, std::uint32_t address, std::uint32_t length);
    bool readOnly() const { return m_readOnly; }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_readOnly = false;
};

}  // namespace kavoda
