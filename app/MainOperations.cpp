// SPDX-License-Identifier: MIT
// The "R/W " group's handlers: Read, Write, Fill 00, Fill FF and Erase on
// the engine's loops, with the window as their display and the working file
// as their byte source and sink. One operation runs at a time, on a port
// claimed for it alone; afterwards the chip's silence and any byte it did not
// take are reported.
#include "MainOperations.h"

#include "Adapter.h"
#include "DeviceCatalogue.h"
#include "DeviceOperations.h"
#include "ErrorReport.h"
#include "Feedback.h"
#include "HexEdit.h"
#include "HexText.h"
#include "Panel.h"
#include "RecordFile.h"
#include "WorkingImage.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>

#include <stdexcept>

namespace kavoda {

namespace {

constexpr TColor kReadColor = clBlue;
constexpr TColor kWriteColor = clRed;
// "&File", "&Device 24C...", "De&vice SDA..." and "&Setup".
constexpr int kLockedMenus = 4;

std::function<void(const QString&, const QString&)>& boxSink()
{
    static std::function<void(const QString&, const QString&)> sink;
    return sink;
}

std::function<bool(const QString&, const QString&)>& questionSink()
{
    static std::function<bool(const QString&, const QString&)> sink;
    return sink;
}

// Yes or No, No the default: the question is asked before anything that
// cannot be undone.
bool askOperationQuestion(QWidget* owner, const QString& text)
{
    if (questionSink())
        return questionSink()(kApplicationTitle, text);
    auto box = makeMessageBox(QMessageBox::Question, kApplicationTitle, text, owner);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    return box->exec() == QMessageBox::Yes;
}

void showOperationBox(QWidget* owner, const QString& caption, const QString& text)
{
    if (boxSink()) {
        boxSink()(caption, text);
        return;
    }
    makeMessageBox(QMessageBox::Critical, caption, text, owner)->exec();
}

// Ends an operation at a stop request; caught where the operation began.
struct OperationStopped {};

// The meter and the address and data fields change with every byte, but
// nobody sees more than a few dozen pictures a second. While an operation
// runs they are painted once per frame: their values are set per byte as
// ever, and each frame shows the latest.
constexpr std::chrono::milliseconds kFrame{20};

void setFieldPainting(TMainForm& form, bool on)
{
    for (QWidget* field : {static_cast<QWidget*>(form.Meter1), static_cast<QWidget*>(form.hexedit2),
                           static_cast<QWidget*>(form.hexedit3)})
        field->setUpdatesEnabled(on);
}

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

// Marks the passes that write the chip, for as long as one runs.
class WritingPass {
public:
    explicit WritingPass(TMainForm::Operations& ops) : m_ops(ops) { m_ops.writingPass = true; }
    ~WritingPass() { m_ops.writingPass = false; }
    WritingPass(const WritingPass&) = delete;
    WritingPass& operator=(const WritingPass&) = delete;

private:
    TMainForm::Operations& m_ops;
};

// The window as the loops see it.
class WindowDisplay final : public OperationDisplay {
public:
    WindowDisplay(TMainForm& form, TMainForm::Operations& ops) : m_form(form), m_ops(ops) {}

    void processMessages() override
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_ops.lastFrame >= kFrame) {
            m_ops.lastFrame = now;
            setFieldPainting(m_form, true);
            QCoreApplication::processEvents();
            setFieldPainting(m_form, false);
        } else {
            QCoreApplication::processEvents();
        }
        if (m_ops.pumpHook)
            m_ops.pumpHook();
    }
    bool stopRequested() const override { return m_ops.stopRequested; }
    void showPercent(int percent) override { m_form.Meter1->setPercent(percent); }
    void showAddress(int address) override
    {
        m_ops.lastAddress = address;
        setField(m_form.hexedit2, address, 4);
    }
    void showData(std::uint8_t value) override { setField(m_form.hexedit3, value, 2); }
    std::string panelText() const override { return m_form.Panel1->caption().toStdString(); }
    void setPanelText(const std::string& text) override
    {
        QString caption = QString::fromStdString(text);
        // A pass puts back the type it found; one chosen meanwhile stays.
        if (m_ops.pendingDevice && caption == m_ops.startPanel)
            caption = latin1(m_ops.pendingDevice->panelText);
        m_form.Panel1->setCaption(caption);
    }
    void setMeterCaption(const std::string& text) override
    {
        m_form.Meter1->setCaption(QString::fromStdString(text));
    }

private:
    // A field that already shows the text is left alone (a fill shows one
    // value throughout).
    static void setField(QLineEdit* field, int value, int digits)
    {
        const QString shown =
            QString::fromLatin1(hexNumber(static_cast<std::uint64_t>(value), digits).c_str());
        if (field->text() != shown)
            field->setText(shown);
    }

    TMainForm& m_form;
    TMainForm::Operations& m_ops;
};

// A Read fills a new image beside the working file, and keeps the bytes
// for the verify that follows it.
class ImageSink final : public ByteSink {
public:
    ImageSink(ImageReplacement& file, std::vector<std::uint8_t>& copy) : m_file(file), m_copy(copy) {}
    void put(const std::uint8_t* data, std::size_t length) override
    {
        for (std::size_t i = 0; i < length; ++i) {
            m_file.append(data[i]);
            m_copy.push_back(data[i]);
        }
    }

private:
    ImageReplacement& m_file;
    std::vector<std::uint8_t>& m_copy;
};

// Disables the controls for its lifetime, unless enabled earlier on purpose.
class ControlsDisabled {
public:
    explicit ControlsDisabled(TMainForm& form) : m_form(form) { m_form.DisableControls(); }
    ~ControlsDisabled()
    {
        try {
            enable();
        } catch (...) {
            // Unwinding already: the error that ends the operation is reported.
        }
    }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;
    void enable()
    {
        if (m_disabled) {
            m_disabled = false;
            m_form.EnableControls();
        }
    }

private:
    TMainForm& m_form;
    bool m_disabled = true;
};

// The image as far as the device goes, read before the chip is touched:
// an image that cannot be read stops the Write with its I/O error while the
// chip still holds what it held.
std::vector<std::uint8_t> imageHead(RecordFile& file, int deviceSize)
{
    std::vector<std::uint8_t> bytes;
    file.seek(0);
    while (static_cast<int>(bytes.size()) < deviceSize && !file.atEnd())
        bytes.push_back(file.readByte());
    return bytes;
}

// The sentence that ends every report of a Write after the image it was
// to write has been kept aside.
QString keptCopySentence(const QString& path)
{
    return QStringLiteral(" The image that was to be written is kept in %1.").arg(path);
}

const QString kImageKept = QStringLiteral("The image was kept as it was.");

// What a stop says: where it came, and what the chip and the image hold.
// A Read stopped by closing the window says nothing: nothing changed.
QString stopReport(const TMainForm::Operations& ops)
{
    const QString at =
        QStringLiteral("%1").arg(ops.lastAddress + 1, 4, 16, QLatin1Char('0')).toUpper();
    if (ops.readStopped)
        return ops.closeRequested ? QString()
                                  : QStringLiteral("The Read was stopped at %1. ").arg(at) + kImageKept;
    QString text = QStringLiteral("The %1 was stopped at %2; the chip holds part of ")
                       .arg(QString::fromLatin1(ops.name), at);
    if (ops.keptCopy.isEmpty())
        return text + QStringLiteral("it.");
    return text + QStringLiteral("the image.") + keptCopySentence(ops.keptCopy);
}

} // namespace

TMainForm::Operations::Operations(PortSession& session)
    : bus(makeDeviceBus(session))
{
}


void setOperationBoxSink(std::function<void(const QString&, const QString&)> sink)
{
    boxSink() = std::move(sink);
}

void setOperationQuestionSink(std::function<bool(const QString&, const QString&)> sink)
{
    questionSink() = std::move(sink);
}

DeviceBus& TMainForm::deviceBus()
{
    return *m_operations->bus;
}

void TMainForm::setDeviceBus(std::unique_ptr<DeviceBus> bus)
{
    if (bus && !m_operations->running)
        m_operations->bus = std::move(bus);
}

bool TMainForm::operationRunning() const
{
    return m_operations->running;
}

void TMainForm::setMessagePumpHook(std::function<void()> hook)
{
    m_operations->pumpHook = std::move(hook);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    Operations& ops = *m_operations;
    if (ops.running) {
        // The window closes once the operation has stopped and let go of
        // the port; a writing pass asks first, and No goes on.
        event->ignore();
        if (confirmStop()) {
            ops.stopRequested = true;
            ops.closeRequested = true;
        }
        return;
    }
    QMainWindow::closeEvent(event);
}

bool TMainForm::confirmStop()
{
    Operations& ops = *m_operations;
    if (ops.stopRequested)
        return true;
    if (ops.asking)
        return false;
    if (!ops.writingPass)
        return true;
    ops.asking = true;
    // The pass waits at its byte boundary while the question is open.
    const bool stop = askOperationQuestion(
        this, QStringLiteral("Stop writing the %1? The chip will hold part of the image.")
                  .arg(latin1(ops.job->chip.caption)));
    ops.asking = false;
    return stop;
}

void TMainForm::stopKeyPressed()
{
    if (m_operations->running && confirmStop())
        m_operations->stopRequested = true;
}

void TMainForm::deferDeviceChoice(const CatalogueEntry& entry)
{
    m_operations->pendingDevice = &entry;
    Panel1->setCaption(latin1(entry.panelText));
}

void TMainForm::DisableControls()
{
    GroupBox1->setEnabled(false);
    const QList<QAction*> menus = menuBar()->actions();
    for (int i = 0; i < kLockedMenus && i < menus.size(); ++i)
        menus[i]->setEnabled(false);
}

void TMainForm::EnableControls()
{
    // Editing needs an image: an operation that ended before its first
    // image leaves the group as the start left it.
    GroupBox1->setEnabled(ImageLoaded);
    const QList<QAction*> menus = menuBar()->actions();
    for (int i = 0; i < kLockedMenus && i < menus.size(); ++i)
        menus[i]->setEnabled(true);
}

QString TMainForm::operationName() const
{
    return m_operations->running ? QString::fromLatin1(m_operations->name) : QString();
}

void TMainForm::runOperation(const char* name, const std::function<void()>& body)
{
    Operations& ops = *m_operations;
    // The "R/W " buttons stay enabled and messages are handled per byte: a
    // click meanwhile must not start a second operation inside this one.
    if (ops.running)
        return;
    ops.name = name;

    // Marks the operation as running and, however it ends, clears the mark
    // and carries out a close that was asked for meanwhile.
    struct Running {
        TMainForm& form;
        Operations& ops;
        Running(TMainForm& f, Operations& o) : form(f), ops(o)
        {
            const ChipType* chip = findDeviceByType(DeviceType);
            if (!chip)
                throw std::runtime_error("No device type is chosen");
            ops.display = std::make_unique<WindowDisplay>(form, ops);
            // The parallel port (the adapter without a clock of its own)
            // keeps the byte transactions of the window's passes, exact to
            // the bus access; adapters with a controller of their own carry
            // the same passes in runs.
            const bool parallelPort = !ops.bus->limits().ownClock;
            ops.job.reset(new ChipJob{*ops.bus, *chip, *ops.display,
                                      parallelPort ? Transfers::Bytewise : Transfers::Fast});
            ops.running = true;
            ops.stopRequested = false;
            ops.closeRequested = false;
            ops.expectation.reset();
            ops.lastRead.clear();
            ops.lastFrame = {};
            ops.writingPass = false;
            ops.readStopped = false;
            ops.lastAddress = -1;
            ops.pendingDevice = nullptr;
            ops.keptCopy.clear();
            ops.startPanel = form.Panel1->caption();
            setFieldPainting(form, false);
            form.m_stopKey->setEnabled(true);
        }
        ~Running()
        {
            form.m_stopKey->setEnabled(false);
            setFieldPainting(form, true);
            ops.running = false;
            if (const CatalogueEntry* chosen = ops.pendingDevice) {
                ops.pendingDevice = nullptr;
                SelectDevice(*chosen);
                form.Panel1->setCaption(latin1(chosen->panelText));
            }
            if (ops.closeRequested)
                QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
        }
    };

    QStringList report;
    {
        Running running(*this, ops);
        BusClaim claim(*ops.bus);
        bool stopped = false;
        try {
            body();
        } catch (const OperationStopped&) {
            stopped = true;
            report << stopReport(ops);
        }
        const std::string retried = retriedReadsText(*ops.job);
        if (!retried.empty())
            report << QString::fromStdString(retried);
        // A stopped operation has no closing Read to compare.
        if (ops.expectation && !stopped) {
            const auto mismatch = compareWithChip(
                ops.lastRead, WantedImage::fromImage(ops.expectation->image,
                                                     static_cast<std::size_t>(ops.job->chip.size),
                                                     ops.expectation->beyond));
            if (mismatch) {
                QString text = QString::fromStdString(verifyFailureText(*mismatch));
                if (!ops.expectation->keptCopy.isEmpty())
                    text += keptCopySentence(ops.expectation->keptCopy);
                report << text;
            }
        }
    }
    report.removeAll(QString());
    if (!report.isEmpty())
        showErrorReport(report.join(QLatin1Char('\r')));
}

void TMainForm::readDevice()
{
    Operations& ops = *m_operations;
    FastTiming = 1;
    ControlsDisabled controls(*this);
    Meter1->setForeColor(kReadColor);
    // The image shown stays until the chip has been read in full: a Read
    // that fails or is stopped leaves it, its file and the grids as they
    // were.
    try {
        ImageReplacement next(workingFilePath());
        ops.lastRead.clear();
        ImageSink sink(next, ops.lastRead);
        const PassEnd end = readPass(*ops.job, sink);
        if (end == PassEnd::Stopped) {
            ops.readStopped = true;
            throw OperationStopped();
        }
        // Renamed first: a rename that fails leaves the old image open.
        next.commit();
        if (ImageFile.isOpen())
            ImageFile.close();
    } catch (const std::exception& e) {
        throw std::runtime_error(
            (errorReportText(QString::fromUtf8(e.what())) + QLatin1Char(' ') + kImageKept)
                .toStdString());
    }
    ImageFile.assign(workingFilePath());
    ImageLoaded = true;
    Timer1->start();
    controls.enable();
    ReopenImage();
}

void TMainForm::FillDevice(std::uint8_t value, bool erase)
{
    Operations& ops = *m_operations;
    struct ColourKept {
        TNeatoMeter* meter;
        TColor saved;
        ~ColourKept() { meter->setForeColor(saved); }
    } colour{Meter1, Meter1->foreColor()};
    Meter1->setForeColor(kWriteColor);
    WritingPass writing(ops);
    if (fillPass(*ops.job, value, erase) == PassEnd::Stopped)
        throw OperationStopped();
}

void TMainForm::ReadBtnClick()
{
    runOperation("Read", [this] { readDevice(); });
}

void TMainForm::WriteBtnClick()
{
    if (m_operations->running)
        return;
    FastTiming = 0;
    if (!ImageLoaded) {
        showOperationBox(this, QStringLiteral("Error"), QStringLiteral("Buffer empty"));
        Meter1->setCaption(QString());
        Meter1->setPercent(0);
        return;
    }
    // An image of another size than the chip is asked about: the chip would
    // keep FF beyond a shorter one, and lose the end of a longer one.
    if (const CatalogueEntry* chip = findDeviceByType(DeviceType)) {
        const std::int64_t imageSize = ImageFile.size();
        if (imageSize != chip->size) {
            const QString rest = imageSize < chip->size
                ? QStringLiteral("The rest of the chip will read FF.")
                : QStringLiteral("Only the first %1 bytes will be written.").arg(chip->size);
            if (!askOperationQuestion(this, QStringLiteral("The image holds %1 bytes; the %2 "
                                                           "holds %3. Write it anyway? %4")
                                                .arg(imageSize)
                                                .arg(latin1(chip->caption))
                                                .arg(chip->size)
                                                .arg(rest)))
                return;
        }
    }
    runOperation("Write", [this] {
        Operations& ops = *m_operations;
        ControlsDisabled controls(*this);
        Meter1->setForeColor(kWriteColor);
        // Nothing reaches the chip before the image has been read and a copy
        // of it kept: the closing Read replaces the working file.
        const int deviceSize = ops.job->chip.size;
        Operations::Expectation expect;
        expect.image = imageHead(ImageFile, deviceSize);
        const std::string copy = joinPath(workingFolder(), kWrittenImageName);
        replaceWithCopy(workingFilePath(), copy);
        expect.keptCopy = QString::fromStdString(copy);
        ops.keptCopy = expect.keptCopy;

        // From here on a failure may leave the chip half written and the
        // working file half read again: the report says where the image is.
        try {
            FillDevice(0xFF, true);
            {
                WritingPass writing(ops);
                if (writePass(*ops.job, expect.image) == PassEnd::Stopped)
                    throw OperationStopped();
            }
            readDevice();
        } catch (const std::exception& e) {
            throw std::runtime_error(
                (errorReportText(QString::fromUtf8(e.what())) + keptCopySentence(expect.keptCopy))
                    .toStdString());
        }
        ops.expectation = std::move(expect);
        controls.enable();
        ReopenImage();
    });
}

void TMainForm::BitBtn4Click()
{
    runOperation("Fill", [this] {
        FastTiming = 0;
        ControlsDisabled controls(*this);
        FillDevice(0xFF, true);
        FillDevice(0x00, false);
        controls.enable();
        readDevice();
        m_operations->expectation = Operations::Expectation{{}, 0x00, {}};
    });
}

void TMainForm::BitBtn6Click()
{
    runOperation("Fill", [this] {
        FastTiming = 0;
        ControlsDisabled controls(*this);
        FillDevice(0xFF, false);
        controls.enable();
        readDevice();
        m_operations->expectation = Operations::Expectation{{}, 0xFF, {}};
    });
}

void TMainForm::BitBtn2Click()
{
    // The erase leaves the menus and the "Edit" group enabled.
    runOperation("Erase", [this] {
        FastTiming = 0;
        FillDevice(0xFF, true);
        readDevice();
        m_operations->expectation = Operations::Expectation{{}, 0xFF, {}};
    });
}

void TMainForm::Timer1Timer()
{
    Timer1->stop();
    Meter1->setCaption(QString());
    Meter1->setPercent(0);
}

} // namespace kavoda
