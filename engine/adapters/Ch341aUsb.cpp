// SPDX-License-Identifier: MIT
// The CH341A's bulk endpoints through libusb. Nothing else in the program
// calls libusb.
#include <libusb.h>

#include <algorithm>

#include "Ch341a.h"
#include "PortBackend.h"

namespace kavoda {

namespace {

// Long enough for a full packet at 20 kHz and the USB frames around it.
constexpr unsigned kTimeoutMs = 1000;

std::string usbError(int code)
{
    return libusb_strerror(static_cast<libusb_error>(code));
}

class LibusbCh341a final : public UsbBulkLink {
public:
    LibusbCh341a(libusb_context* context, libusb_device_handle* handle)
        : m_context(context), m_handle(handle)
    {
    }
    ~LibusbCh341a() override
    {
        libusb_release_interface(m_handle, 0);
        libusb_close(m_handle);
        libusb_exit(m_context);
    }
    LibusbCh341a(const LibusbCh341a&) = delete;
    LibusbCh341a& operator=(const LibusbCh341a&) = delete;

    void bulkOut(const std::vector<std::uint8_t>& packet) override
    {
        std::vector<unsigned char> buffer(packet.begin(), packet.end());
        int sent = 0;
        int rc = 0;
        // A signal that interrupts the wait before anything went out is no
        // failure of the programmer: send again.
        do {
            rc = libusb_bulk_transfer(m_handle, kCh341aBulkOut, buffer.data(),
                                      static_cast<int>(buffer.size()), &sent, kTimeoutMs);
        } while (rc == LIBUSB_ERROR_INTERRUPTED && sent == 0);
        if (rc != 0 || sent != static_cast<int>(buffer.size()))
            throw PortError(ch341aOpenErrorText(UsbOpenFailure::Other,
                                                rc != 0 ? usbError(rc) : "short USB write"));
    }

    std::vector<std::uint8_t> bulkIn(std::size_t maxLength) override
    {
        // The endpoint delivers whole packets; ask for one so that a longer
        // answer never overflows.
        std::vector<unsigned char> buffer(std::max(maxLength, kCh341aPacketSize));
        int received = 0;
        int rc = 0;
        do {
            rc = libusb_bulk_transfer(m_handle, kCh341aBulkIn, buffer.data(),
                                      static_cast<int>(buffer.size()), &received, kTimeoutMs);
        } while (rc == LIBUSB_ERROR_INTERRUPTED && received == 0);
        if (rc != 0)
            throw PortError(ch341aOpenErrorText(UsbOpenFailure::Other, usbError(rc)));
        return {buffer.begin(), buffer.begin() + received};
    }

private:
    libusb_context* m_context;
    libusb_device_handle* m_handle;
};

UsbOpenFailure failureOf(int code)
{
    switch (code) {
    case LIBUSB_ERROR_ACCESS: return UsbOpenFailure::NoPermission;
    case LIBUSB_ERROR_BUSY: return UsbOpenFailure::Busy;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return UsbOpenFailure::NoDevice;
    default: return UsbOpenFailure::Other;
    }
}

}  // namespace

std::unique_ptr<UsbBulkLink> openCh341aUsb()
{
    libusb_context* context = nullptr;
    if (const int rc = libusb_init(&context); rc != 0)
        throw PortError(ch341aOpenErrorText(UsbOpenFailure::Other, usbError(rc)));

    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    libusb_device* found = nullptr;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) == 0 &&
            descriptor.idVendor == kCh341aVendorId && descriptor.idProduct == kCh341aProductId) {
            found = list[i];
            break;
        }
    }
    libusb_device_handle* handle = nullptr;
    int rc = found ? libusb_open(found, &handle) : LIBUSB_ERROR_NOT_FOUND;
    if (count >= 0)
        libusb_free_device_list(list, 1);
    if (rc != 0) {
        libusb_exit(context);
        throw PortError(ch341aOpenErrorText(failureOf(rc), usbError(rc)));
    }
    // A kernel driver for the chip's I2C mode may hold the interface.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    rc = libusb_claim_interface(handle, 0);
    if (rc != 0) {
        libusb_close(handle);
        libusb_exit(context);
        throw PortError(ch341aOpenErrorText(failureOf(rc), usbError(rc)));
    }
    // A reply left over from an interrupted run would answer the first
    // transaction of this one; drop whatever is waiting.
    unsigned char stale[kCh341aPacketSize];
    int got = 0;
    for (int i = 0; i < 8; ++i) {
        if (libusb_bulk_transfer(handle, kCh341aBulkIn, stale, sizeof stale, &got, 10) != 0 ||
            got == 0)
            break;
    }
    return std::make_unique<LibusbCh341a>(context, handle);
}

bool ch341aPlugged()
{
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0)
        return false;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    bool found = false;
    for (ssize_t i = 0; i < count && !found; ++i) {
        libusb_device_descriptor descriptor{};
        found = libusb_get_device_descriptor(list[i], &descriptor) == 0 &&
                descriptor.idVendor == kCh341aVendorId && descriptor.idProduct == kCh341aProductId;
    }
    if (count >= 0)
        libusb_free_device_list(list, 1);
    libusb_exit(context);
    return found;
}

}  // namespace kavoda
