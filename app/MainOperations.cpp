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
#include "IoError.h"
#include "OperationJournal.h"
#include "Panel.h"
#include "RecordFile.h"
#include "Settings.h"
#include "TypeReach.h"
#include "WorkingImage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>
#include <QToolTip>
#include <QCursor>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace kavoda {

namespace {

constexpr TColor kReadColor = clBlue;
constexpr TColor kWriteColor = clRed;
// "&File", "&Device 24C...", "De&vice SDA...", "Device &Other..." and "&Setup".
constexpr int kLockedMenus = 5;

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
bool askOperationQuestion(QWidget* owner, const QString& text,
                          QPointer<QMessageBox>* open = nullptr)
{
    if (questionSink())
        return questionSink()(kApplicationTitle, text);
    auto box = makeMessageBox(QMessageBox::Question, kApplicationTitle, text, owner);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    if (open)
        *open = box.get();
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

// The chip was read in full, but the working file could not take it.
class WorkingFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
        setField(m_form.hexedit2, address, 4);
    }
    void showData(std::uint8_t value) override { setField(m_form.hexedit3, value, 2); }
    void showProgress(long /*done*/, long total, long address) override
    {
        // A whole-chip cycle has reached every byte once it is under way: a
        // stop after it reports the chip filled, not as before.
        if (m_ops.pass.wholeChip)
            m_ops.pass.outcome.next = static_cast<std::uint32_t>(total);
        // Kept where a killed process leaves it: the next start tells.
        if (m_ops.journal)
            m_ops.journal->progress(m_ops.pass.name, m_ops.pass.value,
                                    static_cast<std::uint32_t>(address));
    }
    std::string panelText() const override { return m_form.Panel1->caption().toStdString(); }
    void setPanelText(const std::string& text) override
    {
        QString caption = QString::fromStdString(text);
        // A pass puts back the type it found; one chosen meanwhile stays.
        if (m_ops.pendingDevice && caption == m_ops.startPanel)
            caption = QString::fromStdString(typePanelCaption(*m_ops.pendingDevice));
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
// for the verify that follows it. A file that fails does not stop the
// Read: the chip is read to the end, so that what it holds can be told.
class ImageSink final : public ByteSink {
public:
    ImageSink(std::unique_ptr<ImageReplacement>& file, std::vector<std::uint8_t>& copy,
              QString& fileError)
        : m_file(file), m_copy(copy), m_fileError(fileError)
    {
    }
    void put(const std::uint8_t* data, std::size_t length) override
    {
        m_copy.insert(m_copy.end(), data, data + length);
        if (!m_file)
            return;
        try {
            for (std::size_t i = 0; i < length; ++i)
                m_file->append(data[i]);
        } catch (const std::exception& e) {
            m_fileError = QString::fromLocal8Bit(e.what());
            m_file.reset();
        }
    }

private:
    std::unique_ptr<ImageReplacement>& m_file;
    std::vector<std::uint8_t>& m_copy;
    QString& m_fileError;
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

const QString kImageKept = QStringLiteral("The image was kept as it was.");

QString hexAddress(std::uint32_t address)
{
    return latin1(addressText(address));
}

QString hexByte(std::uint8_t value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

bool isPass(const char* pass, const char* name)
{
    return std::string_view(pass) == name;
}

// What the chip holds after a pass of operation that got as far as next
// (every byte before next is done): "the chip holds none of the image:
// 0000..0150 are erased, the rest is as before". value is what a fill or
// erase pass writes, or, in the closing Read, what the chip should hold.
// underWay: the process died, and the write begun at next may or may not
// have reached the chip.
QString chipHoldsText(const QString& operation, const char* pass, std::uint8_t value,
                      std::uint32_t next, bool underWay = false)
{
    const bool write = operation == QLatin1String("Write");
    if (isPass(pass, "read")) {
        if (write)
            return QStringLiteral("the chip holds the image, not verified");
        if (operation == QLatin1String("Erase"))
            return QStringLiteral("the chip is erased, not verified");
        return QStringLiteral("the chip holds %1 throughout, not verified").arg(hexByte(value));
    }
    const QString range = next > 0 ? hexAddress(0) + QStringLiteral("..") + hexAddress(next - 1)
                                   : QString();
    const QString open = underWay ? QStringLiteral(", the write begun at %1 may not have ended")
                                        .arg(hexAddress(next))
                                  : QString();
    if (write && isPass(pass, "write")) {
        if (next == 0)
            return QStringLiteral("the chip holds none of the image: it is erased") + open;
        return QStringLiteral("the chip holds part of the image: %1 hold it%2, the rest is erased")
            .arg(range, open);
    }
    // An erase, or a fill: only the fill of Fill 00 follows an erase pass.
    const bool afterErase = isPass(pass, "fill") && value != 0xFF;
    const QString rest = afterErase ? QStringLiteral("erased") : QStringLiteral("as before");
    if (next == 0)
        return (afterErase ? QStringLiteral("the chip is erased")
                           : QStringLiteral("nothing was written, the chip is as before")) +
               open;
    QString text = isPass(pass, "erase")
        ? QStringLiteral("%1 are erased%2, the rest is %3").arg(range, open, rest)
        : QStringLiteral("%1 hold %2%3, the rest is %4").arg(range, hexByte(value), open, rest);
    if (write)
        text = QStringLiteral("the chip holds none of the image: ") + text;
    return text;
}

// Where a stop came: "at 0151 in its erase pass", "while the chip was read
// back".
QString stopPlace(const QString& operation, const char* pass, std::uint32_t next)
{
    if (isPass(pass, "read"))
        return QStringLiteral("while the chip was read back");
    QString place = QStringLiteral("at ") + hexAddress(next);
    if (isPass(pass, "erase") && operation != QLatin1String("Erase"))
        place += QStringLiteral(" in its erase pass");
    return place;
}

// A stop in a pass that sets the whole chip in one cycle: before it, the
// chip is as it was; after it, only the words the cycle missed and the
// rewriting had not reached yet may differ.
QString wholeChipStopText(const QString& operation, const char* pass, std::uint8_t value,
                          bool cycleBegun)
{
    const bool erase = isPass(pass, "erase");
    const QString cycle = erase ? QStringLiteral("erase") : QStringLiteral("fill");
    QString holds;
    if (!cycleBegun)
        holds = QStringLiteral("nothing was written, the chip is as before");
    else if (erase)
        holds = QStringLiteral("the chip was erased in one cycle; a word it did not take may "
                               "still hold what it held");
    else
        holds = QStringLiteral("the chip was filled with %1 in one cycle; a word it did not "
                               "take may still hold what it held")
                    .arg(hexByte(value));
    if (operation == QLatin1String("Write"))
        holds = QStringLiteral("the chip holds none of the image: ") + holds;
    return QStringLiteral("The %1 was stopped %2 its %3 cycle; %4.")
        .arg(operation, cycleBegun ? QStringLiteral("after") : QStringLiteral("before"), cycle,
             holds);
}

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

// An I/O error as the middle of a sentence: "disk full".
QString errorInSentence(QString text)
{
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (text.size() > 1 && text[1].isLower())
        text[0] = text[0].toLower();
    return text;
}

// The sentence that ends every report of a Write after the image it was
// to write has been kept aside.
QString keptCopySentence(const QString& path)
{
    return QStringLiteral(" The image that was to be written is kept in %1.").arg(path);
}

} // namespace

QString movedKeptSentence(const std::string& path)
{
    return QStringLiteral("The image that %1 held before is kept in %2.")
        .arg(QLatin1String(kWrittenImageName), QString::fromStdString(path));
}

QString unsavedKeptSentence(const QString& path)
{
    return QStringLiteral("The image shown before, in no file but the working file, is kept in %1.")
        .arg(path);
}

namespace {

// What a stop says: where it came, and what the chip and the image hold.
// A Read stopped by closing the window says nothing: nothing changed.
QString stopReport(const TMainForm::Operations& ops)
{
    const QString operation = QString::fromLatin1(ops.name);
    if (ops.readStopped && operation == QLatin1String("Read")) {
        const QString at = hexAddress(static_cast<std::uint32_t>(ops.lastRead.size()));
        return ops.closeRequested && !ops.endSignalled
            ? QString()
            : QStringLiteral("The Read was stopped at %1. ").arg(at) + kImageKept;
    }
    const std::uint32_t next = ops.pass.outcome.next;
    QString text = ops.pass.wholeChip
        ? wholeChipStopText(operation, ops.pass.name, ops.pass.value, next > 0)
        : QStringLiteral("The %1 was stopped %2; %3.")
              .arg(operation, stopPlace(operation, ops.pass.name, next),
                   chipHoldsText(operation, ops.pass.name, ops.pass.value, next));
    if (!ops.keptCopy.isEmpty())
        text += keptCopySentence(ops.keptCopy);
    return text;
}

// A chip that stopped a fill or an erase pass: the engine's words are
// those of an image; the window's passes write one value.
QString chipStopText(const TMainForm::Operations& ops, const ChipStop& stop)
{
    QString text = QString::fromStdString(stop.what());
    const QString image = QStringLiteral("; the chip holds part of the image.");
    const bool write = std::string_view(ops.name) == "Write";
    if (!text.endsWith(image) || (write && isPass(ops.pass.name, "write")))
        return text;
    text.chop(image.size());
    QString those;
    if (isPass(ops.pass.name, "erase"))
        those = QStringLiteral("those are erased, the rest is as before");
    else if (ops.pass.value != 0xFF)
        those = QStringLiteral("those hold %1, the rest is erased").arg(hexByte(ops.pass.value));
    else
        those = QStringLiteral("those hold FF, the rest is as before");
    if (write)
        those = QStringLiteral("the chip holds none of the image: ") + those;
    return text + QStringLiteral("; ") + those + QLatin1Char('.');
}

// The chip did what it was asked and the closing Read got every byte, but
// the working file could not take them: that comes first.
QString fileFailureReport(const TMainForm::Operations& ops, const QString& error,
                          const std::optional<VerifyMismatch>& mismatch, bool hadImage)
{
    const std::string_view name = ops.name;
    const QString chip = latin1(ops.job->chip.caption);
    const QString cause = errorInSentence(error);
    QString text;
    if (mismatch) {
        text = QString::fromStdString(verifyFailureText(*mismatch)) +
               QStringLiteral(" The working file could not be updated: %1.").arg(cause);
    } else {
        QString done;
        if (name == "Read")
            done = QStringLiteral("was read");
        else if (name == "Write")
            done = QStringLiteral("was written and verified");
        else if (name == "Erase")
            done = QStringLiteral("was erased and verified");
        else
            done = QStringLiteral("was filled with %1 and verified").arg(hexByte(ops.pass.value));
        text = QStringLiteral("The %1 %2; the working file could not be updated: %3.")
                   .arg(chip, done, cause);
    }
    if (name == "Read")
        text += QLatin1Char(' ') + kImageKept;
    else if (name == "Write")
        text += keptCopySentence(ops.keptCopy);
    else if (hadImage)
        text += QStringLiteral(" It still holds the image from before.");
    return text;
}

// Starts a pass: the journal and the stop report name it from now on.
void beginPass(TMainForm::Operations& ops, const char* name, std::uint8_t value)
{
    ops.pass = TMainForm::Operations::Pass{};
    ops.pass.name = name;
    ops.pass.value = value;
    if (ops.journal)
        ops.journal->progress(name, value, 0);
}

// The journal of an operation that writes the chip, before the chip is
// touched. kept: where the image it replaces was kept (empty: nowhere).
void startJournal(TMainForm& form, TMainForm::Operations& ops, const QString& kept)
{
    JournalEntry entry;
    entry.operation = ops.name;
    entry.chip = std::string(ops.job->chip.caption);
    entry.kept = kept.isEmpty() ? std::string() : std::string(kWrittenImageName);
    ops.journal = std::make_unique<OperationJournal>(form.workingFolder(), entry);
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

DeviceBus& TMainForm::busFor(Transport transport, const ChipType* chip)
{
    // An SPI chip goes over the adapter's SPI transport (or a bus that says
    // why the adapter has none), an I2C chip over its I2C transactions. The
    // old bus goes first: what it holds (a simulated chip's content file)
    // is then free for the new one.
    Operations& ops = *m_operations;
    if (transport != ops.busTransport) {
        ops.bus.reset();
        ops.bus = chip ? makeDeviceBus(*m_portSession, m_adapter, *chip)
                       : makeDeviceBus(*m_portSession, m_adapter);
        ops.busTransport = transport;
    }
    return *ops.bus;
}

void TMainForm::setDeviceBus(std::unique_ptr<DeviceBus> bus)
{
    if (bus && !m_operations->running) {
        m_operations->bus = std::move(bus);
        m_operations->busTransport = Transport::I2c;
    }
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
    const QString chip = latin1(ops.job->chip.caption);
    const std::string_view name = ops.name;
    QString question;
    if (name == "Write")
        question = isPass(ops.pass.name, "erase")
            ? QStringLiteral("Stop writing the %1? It is being erased: it will hold none of the "
                             "image.").arg(chip)
            : QStringLiteral("Stop writing the %1? The chip will hold part of the image.")
                  .arg(chip);
    else if (isPass(ops.pass.name, "erase"))
        question =
            QStringLiteral("Stop erasing the %1? Part of it will keep what it held.").arg(chip);
    else
        question = QStringLiteral("Stop filling the %1 with %2? Part of it will %3.")
                       .arg(chip, hexByte(ops.pass.value),
                            ops.pass.value != 0xFF ? QStringLiteral("stay erased")
                                                   : QStringLiteral("keep what it held"));
    const bool stop = askOperationQuestion(this, question, &ops.question);
    ops.asking = false;
    return stop;
}

void TMainForm::stopKeyPressed()
{
    if (m_operations->running && confirmStop())
        m_operations->stopRequested = true;
}

void TMainForm::endRequested()
{
    Operations& ops = *m_operations;
    if (!ops.running) {
        close();
        QCoreApplication::quit();
        return;
    }
    // Nobody may be there to answer: no question, and one that is open is
    // closed; the stop stands whatever it says.
    ops.endSignalled = true;
    ops.stopRequested = true;
    ops.closeRequested = true;
    if (ops.question)
        ops.question->done(QMessageBox::No);
}

void TMainForm::deferDeviceChoice(const CatalogueEntry& entry)
{
    m_operations->pendingDevice = entry;
    Panel1->setCaption(QString::fromStdString(typePanelCaption(entry)));
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

KeptImage::KeptImage(const std::string& workingFile, const std::string& keptFile, bool keepOld)
    : m_path(keptFile), m_side(keptFile + ".new"), m_keepOld(keepOld)
{
    struct stat st {};
    if (::stat(keptFile.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw std::runtime_error(keptFile + " is a folder, so the image cannot be kept there; "
                                            "move it away and try again.");
    try {
        replaceWithCopy(workingFile, m_side);
    } catch (const std::exception& e) {
        throw std::runtime_error("The image could not be kept in " + keptFile + ": " +
                                 errorInSentence(QString::fromLocal8Bit(e.what())).toStdString() +
                                 ".");
    }
}

KeptImage::~KeptImage()
{
    if (!m_committed)
        std::remove(m_side.c_str());
}

void KeptImage::commit()
{
    // Whatever comes, the copy stays: it may be the only one left.
    m_committed = true;
    if (m_keepOld && ::access(m_path.c_str(), F_OK) == 0 && !sameFileContent(m_side, m_path)) {
        const auto dot = m_path.rfind('.');
        for (int n = 1; n < 1000 && m_movedTo.empty(); ++n) {
            const std::string free = m_path.substr(0, dot) + "-" + std::to_string(n) +
                                     m_path.substr(dot);
            if (::access(free.c_str(), F_OK) != 0 && errno == ENOENT &&
                std::rename(m_path.c_str(), free.c_str()) == 0)
                m_movedTo = free;
        }
        if (m_movedTo.empty())
            throw std::runtime_error("The image in " + m_path +
                                     " could not be moved aside; the new copy is in " + m_side +
                                     ".");
    }
    if (std::rename(m_side.c_str(), m_path.c_str()) != 0) {
        const int cause = errno;
        throw std::runtime_error("The image could not be kept in " + m_path + ": " +
                                 errorInSentence(QString::fromStdString(
                                                     IoError::fromErrno(cause).what()))
                                     .toStdString() +
                                 "; it is in " + m_side + ".");
    }
}

std::unique_ptr<KeptImage> keepUnsavedImage(TMainForm& form)
{
    if (!form.ImageLoaded || !form.imageUnsaved())
        return nullptr;
    return std::make_unique<KeptImage>(form.workingFilePath(),
                                       joinPath(form.workingFolder(), kWrittenImageName),
                                       form.keptImageHeld());
}

void TMainForm::keepUnsavedBeforeOperation()
{
    Operations& ops = *m_operations;
    try {
        if (const auto kept = keepUnsavedImage(*this)) {
            kept->commit();
            m_keptImageHeld = true;
            ops.unsavedKept = QString::fromStdString(kept->path());
            ops.movedKept = kept->movedTo();
        }
    } catch (const std::exception& e) {
        throw std::runtime_error(QStringLiteral("The image shown holds edits that no file holds, "
                                                "and %1 The chip was not touched; save the image "
                                                "with Save As first.")
                                     .arg(errorInSentence(QString::fromLocal8Bit(e.what())) +
                                          QLatin1Char('.'))
                                     .toStdString());
    }
}

void TMainForm::refuseClick()
{
    // A beep, and a word beside the pointer that says why.
    QApplication::beep();
    QToolTip::showText(QCursor::pos(),
                       QStringLiteral("The %1 is running: wait until it is done, or press Esc to "
                                      "stop it.")
                           .arg(operationName()),
                       this);
}

void TMainForm::runOperation(const char* name, const std::function<void()>& body)
{
    Operations& ops = *m_operations;
    // The "R/W " buttons stay enabled and messages are handled per byte: a
    // click meanwhile must not start a second operation inside this one,
    // and is answered with a beep.
    if (ops.running) {
        refuseClick();
        return;
    }
    ops.name = name;

    // Marks the operation as running and, however it ends, clears the mark
    // and carries out a close that was asked for meanwhile.
    struct Running {
        TMainForm& form;
        Operations& ops;
        Running(TMainForm& f, Operations& o) : form(f), ops(o)
        {
            const ChipType* chip = form.currentChip();
            if (!chip)
                throw std::runtime_error("No device type is chosen");
            ops.display = std::make_unique<WindowDisplay>(form, ops);
            // The parallel port (the adapter without a clock of its own)
            // keeps the byte transactions of the window's passes, exact to
            // the bus access; adapters with a controller of their own carry
            // the same passes in runs.
            DeviceBus& bus = form.busFor(transportOf(chip->family), chip);
            const bool parallelPort = !bus.limits().ownClock;
            ops.job.reset(new ChipJob{bus, *chip, *ops.display,
                                      parallelPort ? Transfers::Bytewise : Transfers::Fast});
            ops.running = true;
            ops.stopRequested = false;
            ops.closeRequested = false;
            ops.endSignalled = false;
            ops.expectation.reset();
            ops.lastRead.clear();
            ops.lastFrame = {};
            ops.writingPass = false;
            ops.readStopped = false;
            ops.readCompleted = false;
            ops.pendingDevice.reset();
            ops.keptCopy.clear();
            ops.unsavedKept.clear();
            ops.movedKept.clear();
            ops.pass = Operations::Pass{};
            ops.journal.reset();
            ops.startPanel = form.Panel1->caption();
            setFieldPainting(form, false);
            form.m_stopKey->setEnabled(true);
        }
        ~Running()
        {
            form.m_stopKey->setEnabled(false);
            setFieldPainting(form, true);
            ops.running = false;
            if (ops.pendingDevice) {
                const ChipType chosen = *ops.pendingDevice;
                ops.pendingDevice.reset();
                form.applyType(chosen);
                guarded([&] { saveTypeSetting(chosen, chosen.inWindow()); });
            }
            if (ops.closeRequested)
                QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
            if (ops.endSignalled)
                QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
    };

    const bool hadImage = ImageLoaded;
    QStringList report;
    {
        Running running(*this, ops);
        BusClaim claim(*ops.bus);
        bool stopped = false;
        bool failed = false;
        std::optional<QString> fileError;
        try {
            body();
        } catch (const OperationStopped&) {
            stopped = true;
            report << stopReport(ops);
        } catch (const WorkingFileError& e) {
            fileError = QString::fromLocal8Bit(e.what());
        } catch (const std::exception& e) {
            failed = true;
            report << errorReportText(QString::fromLocal8Bit(e.what()));
        }
        // A chip that failed has said why; its retries are part of that.
        const std::string retried = retriedReadsText(*ops.job);
        if (!retried.empty() && !failed)
            report << QString::fromStdString(retried);
        // A stopped operation has no closing Read to compare.
        std::optional<VerifyMismatch> mismatch;
        if (ops.expectation && ops.readCompleted && !stopped)
            mismatch = compareWithChip(
                ops.lastRead, WantedImage::fromImage(ops.expectation->image,
                                                     static_cast<std::size_t>(ops.job->chip.size),
                                                     ops.expectation->beyond));
        // A Write verified: the chip holds what Tempor.bak keeps.
        if (std::string_view(ops.name) == "Write" && ops.expectation && ops.readCompleted &&
            !stopped && !mismatch)
            m_keptImageHeld = false;
        if (fileError) {
            report.prepend(fileFailureReport(ops, *fileError, mismatch, hadImage));
        } else if (mismatch) {
            QString text = QString::fromStdString(verifyFailureText(*mismatch));
            if (!ops.expectation->keptCopy.isEmpty())
                text += keptCopySentence(ops.expectation->keptCopy);
            report << text;
        }
    }
    report.removeAll(QString());
    // Where an unsaved image went is news, not a failure, when it is all.
    const bool onlyNews = report.isEmpty();
    if (!ops.unsavedKept.isEmpty())
        report << unsavedKeptSentence(ops.unsavedKept);
    if (!ops.movedKept.empty())
        report << movedKeptSentence(ops.movedKept);
    const QString text = report.join(QLatin1Char('\r'));
    if (ops.endSignalled) {
        // Nobody may see a box now: the next start shows the report.
        if (ops.journal && !text.isEmpty())
            ops.journal->keepWithReport(text.toStdString());
        ops.journal.reset();
        return;
    }
    // The operation has ended: the journal goes before anyone reads the report.
    ops.journal.reset();
    if (text.isEmpty())
        return;
    if (onlyNews)
        showNotice(text);
    else
        showErrorReport(text);
}

void TMainForm::readDevice()
{
    Operations& ops = *m_operations;
    FastTiming = 1;
    ControlsDisabled controls(*this);
    Meter1->setForeColor(kReadColor);
    ops.readCompleted = false;
    // The image shown stays until the chip has been read in full: a Read
    // that fails or is stopped leaves it, its file and the grids as they
    // were. A working file that cannot be written does not stop the Read.
    QString fileError;
    std::unique_ptr<ImageReplacement> next;
    try {
        next = std::make_unique<ImageReplacement>(workingFilePath());
    } catch (const std::exception& e) {
        fileError = QString::fromLocal8Bit(e.what());
    }
    try {
        ops.lastRead.clear();
        ImageSink sink(next, ops.lastRead, fileError);
        if (readPass(*ops.job, sink) == PassEnd::Stopped) {
            ops.readStopped = true;
            throw OperationStopped();
        }
    } catch (const std::exception& e) {
        throw std::runtime_error(
            (errorReportText(QString::fromUtf8(e.what())) + QLatin1Char(' ') + kImageKept)
                .toStdString());
    }
    ops.readCompleted = true;
    // The last address read, whatever run it came in.
    if (!ops.lastRead.empty())
        hexedit2->setText(hexAddress(static_cast<std::uint32_t>(ops.lastRead.size() - 1)));
    if (next) {
        try {
            // Renamed first: a rename that fails leaves the old image open.
            next->commit();
        } catch (const std::exception& e) {
            fileError = QString::fromLocal8Bit(e.what());
        }
    }
    if (!fileError.isEmpty())
        throw WorkingFileError(fileError.toStdString());
    if (ImageFile.isOpen())
        ImageFile.close();
    ImageFile.assign(workingFilePath());
    ImageLoaded = true;
    m_imageUnsaved = false;
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
    beginPass(ops, erase ? "erase" : "fill", value);
    WritingPass writing(ops);
    try {
        PassEnd end;
        if (ops.job->chip.isMicrowire()) {
            // One ERAL or WRAL cycle sets the whole chip; its first
            // progress step comes just before the cycle.
            ops.pass.wholeChip = true;
            end = fillMicrowireChip(*ops.job, value, erase);
        } else {
            end = fillPass(*ops.job, value, erase, &ops.pass.outcome);
        }
        if (end == PassEnd::Stopped)
            throw OperationStopped();
    } catch (const ChipStop& stop) {
        throw std::runtime_error(chipStopText(ops, stop).toStdString());
    }
}

void TMainForm::ReadBtnClick()
{
    runOperation("Read", [this] {
        keepUnsavedBeforeOperation();
        readDevice();
    });
}

void TMainForm::WriteBtnClick()
{
    if (m_operations->running) {
        refuseClick();
        return;
    }
    FastTiming = 0;
    if (!ImageLoaded) {
        showOperationBox(this, QStringLiteral("Error"), QStringLiteral("Buffer empty"));
        Meter1->setCaption(QString());
        Meter1->setPercent(0);
        return;
    }
    // An image of another size than the chip is asked about: the chip would
    // keep FF beyond a shorter one, and lose the end of a longer one.
    if (const CatalogueEntry* chip = currentChip()) {
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
        try {
            KeptImage copy(workingFilePath(), joinPath(workingFolder(), kWrittenImageName),
                           m_keptImageHeld);
            copy.commit();
            // Held until the chip holds it, verified.
            m_keptImageHeld = true;
            ops.movedKept = copy.movedTo();
            expect.keptCopy = QString::fromStdString(copy.path());
        } catch (const std::exception& e) {
            throw std::runtime_error(std::string(e.what()) + " The chip was not touched.");
        }
        ops.keptCopy = expect.keptCopy;
        startJournal(*this, ops, expect.keptCopy);

        // From here on a failure may leave the chip half written and the
        // working file half read again: the report says where the image is.
        try {
            FillDevice(0xFF, true);
            {
                beginPass(ops, "write", 0xFF);
                WritingPass writing(ops);
                if (writePass(*ops.job, expect.image, &ops.pass.outcome) == PassEnd::Stopped)
                    throw OperationStopped();
            }
            ops.expectation = expect;
            beginPass(ops, "read", 0xFF);
            readDevice();
        } catch (const WorkingFileError&) {
            throw;
        } catch (const std::exception& e) {
            throw std::runtime_error(
                (errorReportText(QString::fromUtf8(e.what())) + keptCopySentence(expect.keptCopy))
                    .toStdString());
        }
        controls.enable();
        ReopenImage();
    });
}

void TMainForm::BitBtn4Click()
{
    runOperation("Fill", [this] {
        Operations& ops = *m_operations;
        FastTiming = 0;
        ControlsDisabled controls(*this);
        keepUnsavedBeforeOperation();
        startJournal(*this, ops, ops.unsavedKept);
        // A Microwire chip takes 00 in one WRAL cycle, without an erase first.
        if (!ops.job->chip.isMicrowire())
            FillDevice(0xFF, true);
        FillDevice(0x00, false);
        controls.enable();
        ops.expectation = Operations::Expectation{{}, 0x00, {}};
        beginPass(ops, "read", 0x00);
        readDevice();
    });
}

void TMainForm::BitBtn6Click()
{
    runOperation("Fill", [this] {
        Operations& ops = *m_operations;
        FastTiming = 0;
        ControlsDisabled controls(*this);
        keepUnsavedBeforeOperation();
        startJournal(*this, ops, ops.unsavedKept);
        FillDevice(0xFF, false);
        controls.enable();
        ops.expectation = Operations::Expectation{{}, 0xFF, {}};
        beginPass(ops, "read", 0xFF);
        readDevice();
    });
}

void TMainForm::BitBtn2Click()
{
    // The erase leaves the menus and the "Edit" group enabled.
    runOperation("Erase", [this] {
        Operations& ops = *m_operations;
        FastTiming = 0;
        keepUnsavedBeforeOperation();
        startJournal(*this, ops, ops.unsavedKept);
        FillDevice(0xFF, true);
        ops.expectation = Operations::Expectation{{}, 0xFF, {}};
        beginPass(ops, "read", 0xFF);
        readDevice();
    });
}

// What the journal of a dead process says, as the next start tells it.
static QString interruptedReport(const JournalEntry& entry, bool keptExists)
{
    const QString operation = QString::fromStdString(entry.operation);
    const QString chip = QString::fromStdString(entry.chip);
    const QString to = operation == QLatin1String("Write") ? QStringLiteral("to")
                                                           : QStringLiteral("of");
    if (!entry.report.empty())
        return QStringLiteral("The program was ended during the last %1 %2 the %3.\r")
                   .arg(operation, to, chip) +
               QString::fromStdString(entry.report);
    const std::string pass = entry.pass.empty() ? std::string("erase") : entry.pass;
    // A Microwire chip's fill or erase is one cycle for every byte, then
    // the words it missed: no address tells how far it got.
    const ChipType* row = findChip(entry.chip);
    const bool wholeChip = row && row->isMicrowire() && (pass == "fill" || pass == "erase");
    QString text;
    if (entry.pass.empty())
        text = QStringLiteral("The last %1 %2 the %3 stopped before it began (the program ended).")
                   .arg(operation, to, chip);
    else if (pass == "read")
        text = QStringLiteral("The last %1 %2 the %3 stopped while the chip was read back (the "
                              "program ended).")
                   .arg(operation, to, chip);
    else if (wholeChip)
        text = QStringLiteral("The last %1 %2 the %3 stopped in its %4 cycle (the program ended).")
                   .arg(operation, to, chip, QString::fromStdString(pass));
    else
        text = QStringLiteral("The last %1 %2 the %3 stopped at %4 (the program ended).")
                   .arg(operation, to, chip, hexAddress(entry.next));
    if (!entry.kept.empty())
        text += (operation == QLatin1String("Write")
                     ? (keptExists ? QStringLiteral(" The image it was writing is kept as %1.")
                                   : QStringLiteral(" The image it was writing was kept as %1, "
                                                    "which is gone now."))
                     : (keptExists ? QStringLiteral(" The image shown before is kept as %1.")
                                   : QStringLiteral(" The image shown before was kept as %1, "
                                                    "which is gone now.")))
                    .arg(QString::fromStdString(entry.kept));
    if (!entry.pass.empty() && wholeChip) {
        QString holds = pass == "erase"
            ? QStringLiteral("it may be erased throughout, or only in part")
            : QStringLiteral("it may hold %1 throughout, or only in part").arg(hexByte(entry.value));
        if (operation == QLatin1String("Write"))
            holds = QStringLiteral("it holds none of the image: ") + holds;
        text += QStringLiteral(" The chip was being set in one cycle: ") + holds + QLatin1Char('.');
    } else if (!entry.pass.empty()) {
        text += QLatin1Char(' ') +
                capitalised(chipHoldsText(operation, pass.c_str(), entry.value, entry.next, true)) +
                QLatin1Char('.');
    }
    return text;
}

void TMainForm::reportInterruptedOperation()
{
    const std::optional<JournalEntry> entry = OperationJournal::find(m_workingFolder);
    if (!entry)
        return;
    // The working file still holds the image that was kept: it is shown
    // again, as held by no file of the user's, so that nothing replaces it
    // unkept. The files themselves are left as they are.
    if (!entry->kept.empty() && !ImageLoaded &&
        sameFileContent(workingFilePath(), joinPath(m_workingFolder, entry->kept))) {
        try {
            ImageFile.assign(workingFilePath());
            ImageLoaded = true;
            m_imageUnsaved = true;
            ReopenImage();
        } catch (const std::exception&) {
            // Shown or not, the report below says where the image is.
        }
    }
    const bool keptExists =
        !entry->kept.empty() && ::access(joinPath(m_workingFolder, entry->kept).c_str(), F_OK) == 0;
    // What it keeps may be in no other file: the next copy moves it aside.
    m_keptImageHeld = keptExists;
    OperationJournal::remove(m_workingFolder);
    showErrorReport(interruptedReport(*entry, keptExists));
}

void TMainForm::Timer1Timer()
{
    Timer1->stop();
    Meter1->setCaption(QString());
    Meter1->setPercent(0);
}

} // namespace kavoda
