// SPDX-License-Identifier: MIT
// The main window's side of the whole-device operations: what one operation
// keeps while it runs, and the test hook for the "Buffer empty" box.
#pragma once

#include "DeviceBus.h"
#include "DeviceOperations.h"
#include "Main.h"
#include "OperationJournal.h"

#include <QMessageBox>
#include <QPointer>

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kavoda {

// The copy a Write keeps of the image it was asked to write, beside the
// working file: the closing Read replaces the working file with what the
// chip holds. Read, Load, Fill and Erase keep an unsaved image there too.
inline constexpr const char* kWrittenImageName = "Tempor.bak";

// An image kept in Tempor.bak before something replaces it. The copy is
// made beside Tempor.bak and renamed into its place by commit(), so that a
// Load of Tempor.bak itself still reads what it held. Dropped without
// commit(), it leaves nothing behind. A copy that cannot be made is a
// std::runtime_error that says so. With keepOld, a Tempor.bak that holds
// other bytes is first moved to the first free Tempor-N.bak: it holds an
// image that no other file may hold.
class KeptImage {
public:
    KeptImage(const std::string& workingFile, const std::string& keptFile, bool keepOld);
    ~KeptImage();
    KeptImage(const KeptImage&) = delete;
    KeptImage& operator=(const KeptImage&) = delete;
    void commit();
    const std::string& path() const { return m_path; }
    // Where the image Tempor.bak held went; empty when it stayed or was
    // the same.
    const std::string& movedTo() const { return m_movedTo; }

private:
    std::string m_path;
    std::string m_side;
    std::string m_movedTo;
    bool m_keepOld = false;
    bool m_committed = false;
};

// The form's unsaved image kept in Tempor.bak (not yet committed), or none
// when the image is saved or there is none.
std::unique_ptr<KeptImage> keepUnsavedImage(TMainForm& form);
// "The image shown before, in no file but the working file, is kept in …"
QString unsavedKeptSentence(const QString& path);
// "The image that Tempor.bak held before is kept in …"
QString movedKeptSentence(const std::string& path);

struct TMainForm::Operations {
    explicit Operations(PortSession& session);

    // What the closing Read of an operation must find on the chip.
    struct Expectation {
        std::vector<std::uint8_t> image;  // byte i at device address i
        std::uint8_t beyond = 0xFF;       // every byte after the image
        QString keptCopy;                 // where the written image was kept, if anywhere
    };

    // The pass under way, as the journal and the stop report name it:
    // "erase", "fill", "write" or "read", with the value a fill writes.
    struct Pass {
        const char* name = "";
        std::uint8_t value = 0xFF;
        WriteOutcome outcome;  // how far a stopped fill or write got
        bool wholeChip = false;  // one cycle for the whole chip (a Microwire fill)
    };

    std::unique_ptr<DeviceBus> bus;
    Transport busTransport = Transport::I2c;  // what the bus carries
    // The running operation's chip on the bus, shown in the window: made
    // when the operation starts, so that a type chosen meanwhile applies
    // from the next operation on; its passes share it.
    std::unique_ptr<OperationDisplay> display;
    std::unique_ptr<ChipJob> job;
    bool running = false;
    const char* name = "";
    // A pass that writes the chip is under way: a stop asks first.
    bool writingPass = false;
    bool asking = false;       // the stop question is open
    bool readStopped = false;  // the stop came in a Read pass
    // A type chosen while the operation runs: shown at once, applied when
    // the operation ends. The passes' own panel text is the one they found.
    std::optional<ChipType> pendingDevice;
    QString startPanel;
    QString keptCopy;  // where a Write kept the image it writes
    QString unsavedKept;  // where an unsaved image was kept before it was replaced
    std::string movedKept;  // where the image Tempor.bak held before went
    Pass pass;
    std::unique_ptr<OperationJournal> journal;
    bool endSignalled = false;  // SIGTERM or SIGHUP: stop, keep the report, end
    bool readCompleted = false;  // the closing Read got every byte of the chip
    QPointer<QMessageBox> question;  // the stop question while it is open
    bool stopRequested = false;
    bool closeRequested = false;
    std::function<void()> pumpHook;
    std::vector<std::uint8_t> lastRead;  // the bytes of the last Read pass
    std::optional<Expectation> expectation;
    // When the per-byte fields were last let through to the screen.
    std::chrono::steady_clock::time_point lastFrame;
};

// The operations' own message boxes ("Buffer empty"): shown modally, or
// handed as caption and text to the sink installed for tests.
void setOperationBoxSink(std::function<void(const QString& caption, const QString& text)> sink);
// The operations' Yes/No questions (stop a write, write an image of another
// size): asked modally, or answered by the sink installed for tests.
void setOperationQuestionSink(std::function<bool(const QString& caption, const QString& text)> sink);

} // namespace kavoda
