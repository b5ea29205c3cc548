// SPDX-License-Identifier: MIT
// The CH341A's bulk endpoints through libusb. Nothing else in the program
// calls libusb.
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "Ch341a.h"
#include "PortBackend.h"

namespace kavoda {

namespace {

// The USB timeout. No exchange carries more than half of it in bus time, so
// a transfer that runs into it has really failed.
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

    std::vector<std::uint8_t> exchange(const std::vector<std::uint8_t>& packets,
                                       const std::vector<std::size_t>& inLengths) override
    {
        // The first INs are queued before the OUT goes out, and each one
        // that ends queues the next from its callback, so that the device
        // always finds one waiting for its next reply packet and no more
        // than kMaxInsPerExchange wait at once.
        Queue queue{m_handle, inLengths, {}, 0, {}, false};
        queue.ins.resize(inLengths.size());
        while (queue.next < queue.ins.size() && queue.next < Ch341aBus::kMaxInsPerExchange &&
               queue.failure.empty())
            queue.submitNext();
        if (queue.failure.empty()) {
            try {
                bulkOut(packets);
            } catch (const PortError& e) {
                queue.failure = e.what();
            }
        }
        // Wait for the INs in order; on a failure, cancel the rest and wait
        // until libusb has let go of every buffer.
        std::vector<std::uint8_t> received;
        for (std::size_t i = 0; i < queue.ins.size() && queue.failure.empty(); ++i) {
            if (!queue.ins[i] || !queue.ins[i]->submitted)
                break;
            PendingIn& in = *queue.ins[i];
            waitFor(in);
            if (in.status != LIBUSB_TRANSFER_COMPLETED)
                queue.failure = in.status == LIBUSB_TRANSFER_TIMED_OUT
                                    ? std::string("the programmer did not answer (USB timeout)")
                                    : std::string("USB transfer failed");
            else
                received.insert(received.end(), in.buffer.begin(),
                                in.buffer.begin() + in.transfer->actual_length);
        }
        queue.stopped = true;
        for (auto& pending : queue.ins) {
            if (!pending)
                continue;
            if (pending->submitted && !pending->finished) {
                libusb_cancel_transfer(pending->transfer);
                waitFor(*pending);
            }
            // One that libusb still holds is left to it rather than freed
            // under its feet; its callback must not reach this queue.
            if (pending->submitted && !pending->finished) {
                pending->queue = nullptr;
                pending.release();
            }
            else if (pending->transfer)
                libusb_free_transfer(pending->transfer);
        }
        if (!queue.failure.empty())
            throw UsbExchangeError(queue.failure.rfind("Cannot use", 0) == 0
                                       ? queue.failure
                                       : ch341aOpenErrorText(UsbOpenFailure::Other, queue.failure),
                                   std::move(received));
        return received;
    }

private:
    struct Queue;

    struct PendingIn {
        libusb_transfer* transfer = nullptr;
        std::vector<unsigned char> buffer;
        bool submitted = false;
        bool finished = false;
        libusb_transfer_status status = LIBUSB_TRANSFER_ERROR;
        Queue* queue = nullptr;

        static void LIBUSB_CALL done(libusb_transfer* transfer)
        {
            auto* in = static_cast<PendingIn*>(transfer->user_data);
            in->status = transfer->status;
            in->finished = true;
            if (in->status == LIBUSB_TRANSFER_COMPLETED && in->queue && !in->queue->stopped)
                in->queue->submitNext();
        }
    };

    // The INs of one exchange, queued as the ones before them end.
    struct Queue {
        libusb_device_handle* handle;
        const std::vector<std::size_t>& lengths;
        std::vector<std::unique_ptr<PendingIn>> ins;
        std::size_t next;
        std::string failure;
        bool stopped;

        void submitNext()
        {
            if (next >= ins.size() || !failure.empty())
                return;
            ins[next] = std::make_unique<PendingIn>();
            PendingIn& in = *ins[next];
            in.queue = this;
            in.buffer.resize(lengths[next]);
            in.transfer = libusb_alloc_transfer(0);
            ++next;
            if (!in.transfer) {
                failure = "out of memory";
                return;
            }
            libusb_fill_bulk_transfer(in.transfer, handle, kCh341aBulkIn, in.buffer.data(),
                                      static_cast<int>(in.buffer.size()), &PendingIn::done, &in,
                                      kTimeoutMs);
            if (const int rc = libusb_submit_transfer(in.transfer); rc != 0) {
                failure = usbError(rc);
                return;
            }
            in.submitted = true;
        }
    };

    void waitFor(PendingIn& in)
    {
        // Each IN has its own timeout, so this ends; a cancelled one gets a
        // while more.
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(kTimeoutMs + 2000);
        while (!in.finished && std::chrono::steady_clock::now() < deadline) {
            timeval tv{0, 100'000};
            libusb_handle_events_timeout_completed(m_context, &tv, nullptr);
        }
    }

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
