// SPDX-License-Identifier: MIT
// The compare menu's handlers. A compare reads the image shown and the other
// side into memory, keeps only the differing runs, and never writes the
// working file: the marks live in the hex grid, not in the image.
#include "MainCompare.h"

#include "ByteCompare.h"
#include "Checksums.h"
#include "DeviceOperations.h"
#include "ErrorReport.h"
#include "Feedback.h"
#include "HexGrid.h"
#include "ImagePage.h"
#include "IntelHex.h"
#include "Main.h"
#include "MainOperations.h"
#include "UpDown.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>

namespace kavoda {

namespace {

// No image file these chips come near is larger.
constexpr qint64 kLargestFile = 16 << 20;

std::function<void(const QString&)>& boxSink()
{
    static std::function<void(const QString&)> sink;
    return sink;
}

void showAnswer(QWidget* owner, const QString& text)
{
    if (boxSink()) {
        boxSink()(text);
        return;
    }
    makeMessageBox(QMessageBox::Information, kApplicationTitle, text, owner)->exec();
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

class VectorSink final : public ByteSink {
public:
    explicit VectorSink(std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}
    void put(const std::uint8_t* data, std::size_t length) override
    {
        m_bytes.insert(m_bytes.end(), data, data + length);
    }

private:
    std::vector<std::uint8_t>& m_bytes;
};

// The bytes of a file, read whole; a HEX file (by its name) as the bytes it
// gives, up to its last one, with the mask of those it gives.
struct FileImage {
    std::vector<std::uint8_t> bytes;
    std::vector<bool> present;  // empty: every byte
    bool beyond = false;        // a HEX file went on past what is compared
};

QByteArray readWhole(const QString& path)
{
    // A pipe or a device would block or never end: only regular files.
    const QFileInfo info(path);
    if (!info.isFile())
        throw std::runtime_error(path.toStdString() + " is no file");
    if (info.size() > kLargestFile)
        throw std::runtime_error(path.toStdString() + " is too large for an image");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot read " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error("Cannot read " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    return bytes;
}

// A HEX file is laid over `compared` bytes only: what lies beyond is not
// compared, and need not be held.
FileImage readFileImage(const QString& path, std::size_t compared)
{
    const QByteArray content = readWhole(path);
    FileImage image;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("hex") && suffix != QLatin1String("ihex")) {
        image.bytes.assign(content.begin(), content.end());
        return image;
    }
    IntelHexImage hex;
    try {
        hex = readIntelHex(
            std::string_view(content.constData(), static_cast<std::size_t>(content.size())),
            compared, BeyondCapacity::Drop);
    } catch (const IntelHexError& e) {
        throw std::runtime_error(path.toStdString() + " is no valid Intel HEX file: " + e.what());
    }
    std::size_t size = hex.present.size();
    while (size > 0 && !hex.present[size - 1])
        --size;
    hex.bytes.resize(size);
    hex.bytes.shrink_to_fit();
    image.bytes = std::move(hex.bytes);
    image.beyond = hex.beyond > 0;
    if (hex.given < size) {
        hex.present.resize(size);
        hex.present.shrink_to_fit();
        image.present = std::move(hex.present);
    }
    return image;
}

// The compare menu and the "Edit" group locked while the chip is read.
class CompareLocked {
public:
    CompareLocked(TMainForm& form, QMenu* menu) : m_form(form), m_menu(menu)
    {
        m_form.DisableControls();
        m_menu->setEnabled(false);
    }
    ~CompareLocked()
    {
        m_menu->setEnabled(true);
        try {
            m_form.EnableControls();
        } catch (...) {
            // Unwinding already: the error that ends the read is reported.
        }
    }
    CompareLocked(const CompareLocked&) = delete;
    CompareLocked& operator=(const CompareLocked&) = delete;

private:
    TMainForm& m_form;
    QMenu* m_menu;
};

// What a compare of sides of other sizes left out; empty for equal sizes.
QString sizeNote(std::size_t imageSize, std::size_t otherSize, const QString& other)
{
    if (imageSize == otherSize)
        return {};
    return QStringLiteral("The image shown holds %1 bytes, %2 %3; compared over the first %4.")
        .arg(imageSize)
        .arg(other)
        .arg(otherSize)
        .arg(std::min(imageSize, otherSize));
}

const QString kNoImage =
    QStringLiteral("There is no image to compare: read the chip or load a file first.");

} // namespace

void setCompareBoxSink(std::function<void(const QString&)> sink)
{
    boxSink() = std::move(sink);
}

void TMainForm::createCompareMenu()
{
    m_compareMenu = menuBar()->addMenu(kCompareMenuTitle);
    const auto add = [this](const QString& text, void (TMainForm::*handler)(),
                            const QKeySequence& key = {}) {
        QAction* action = m_compareMenu->addAction(text);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot([this, handler] { (this->*handler)(); }));
    };
    add(kCompareWithChipText, &TMainForm::CompareWithChipClick);
    add(kCompareWithFileText, &TMainForm::CompareWithFileClick);
    m_compareMenu->addSeparator();
    add(kNextDifferenceText, &TMainForm::NextDifferenceClick, QKeySequence(Qt::Key_F3));
    add(kPreviousDifferenceText, &TMainForm::PreviousDifferenceClick,
        QKeySequence(Qt::SHIFT | Qt::Key_F3));
    m_compareMenu->addSeparator();
    add(kBlankCheckText, &TMainForm::BlankCheckClick);
    add(kChecksumsText, &TMainForm::ChecksumsClick);
}

std::vector<std::uint8_t> TMainForm::shownImage() const
{
    const QByteArray bytes = readWhole(QString::fromStdString(workingFilePath()));
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

bool TMainForm::readChipForCompare(std::vector<std::uint8_t>& bytes, QString& chipName)
{
    Operations& ops = *m_operations;
    bool done = false;
    bool stopped = false;
    bytes.clear();
    runOperation("Compare", [&] {
        FastTiming = 1;
        CompareLocked locked(*this, m_compareMenu);
        Meter1->setForeColor(clBlue);
        VectorSink sink(bytes);
        chipName = QString::fromLatin1(ops.job->chip.caption.data(),
                                       static_cast<int>(ops.job->chip.caption.size()));
        stopped = readPass(*ops.job, sink) == PassEnd::Stopped;
        if (stopped)
            return;
        Timer1->start();
        done = true;
    });
    // Closing the window says nothing: nothing was changed.
    if (stopped && !ops.closeRequested)
        showAnswer(this, QStringLiteral("The compare was stopped at %1; nothing was compared.")
                             .arg(fromStd(addressText(static_cast<std::uint32_t>(bytes.size())))));
    return done;
}

void TMainForm::CompareWithChipClick()
{
    if (operationRunning())
        return;
    if (!ImageLoaded) {
        showAnswer(this, kNoImage);
        return;
    }
    // The image first: one that cannot be read costs no time on the bus.
    const std::vector<std::uint8_t> image = shownImage();
    std::vector<std::uint8_t> chip;
    QString chipName;
    if (!readChipForCompare(chip, chipName))
        return;
    const QString other = QStringLiteral("the ") + chipName;
    showComparison(compareBytes(image.data(), chip.data(), std::min(image.size(), chip.size())),
                   other, sizeNote(image.size(), chip.size(), other));
}

void TMainForm::CompareWithFileClick()
{
    refuseDuringOperation();
    if (!ImageLoaded) {
        showAnswer(this, kNoImage);
        return;
    }
    const QString chosen = chooseImageFile(ImageDialog::Load);
    if (chosen.isEmpty())
        return;
    const std::vector<std::uint8_t> image = shownImage();
    const FileImage file = readFileImage(chosen, image.size());
    const std::size_t size = std::min(image.size(), file.bytes.size());
    const QString other = QFileInfo(chosen).fileName();
    showComparison(compareBytes(image.data(), file.bytes.data(), size, nullptr,
                                file.present.empty() ? nullptr : &file.present),
                   other,
                   file.beyond ? QStringLiteral("%1 goes on beyond the %2 bytes of the image "
                                                "shown; that part is not compared.")
                                     .arg(other)
                                     .arg(image.size())
                               : sizeNote(image.size(), file.bytes.size(), other));
}

void TMainForm::showComparison(const ByteComparison& comparison, const QString& other,
                               const QString& sizeNote)
{
    m_differences = comparison.runs;
    QStringList lines;
    if (comparison.equal()) {
        lines << QStringLiteral("The image shown and %1 are equal (%2 bytes compared).")
                     .arg(other)
                     .arg(comparison.compared);
    } else {
        lines << fromStd(differenceSummary(comparison));
    }
    if (comparison.skipped > 0)
        lines << QStringLiteral("%1 bytes that %2 leaves out were not compared.")
                     .arg(comparison.skipped)
                     .arg(other);
    if (!sizeNote.isEmpty())
        lines << sizeNote;

    // The page shown stays when it holds a difference; otherwise the first
    // difference is shown.
    const std::uint32_t page = static_cast<std::uint32_t>(UpDown1->position()) * kPageBytes;
    const auto [first, last] = runsWithin(m_differences, page, kPageBytes);
    if (first == last && !m_differences.empty())
        showDifference(m_differences.front().start);
    else
        markDifferences(static_cast<std::int32_t>(page));
    showAnswer(this, lines.join(QLatin1Char('\r')));
}

void TMainForm::showDifference(std::uint32_t address)
{
    const int page = static_cast<int>(address / kPageBytes);
    // A difference beyond the selector's reach (past the image's end)
    // cannot be shown.
    if (page > UpDown1->maximum()) {
        QApplication::beep();
        return;
    }
    if (page != UpDown1->position()) {
        UpDown1->setPosition(page);
        UpDown1Click();
    }
    const int cell = static_cast<int>(address % kPageBytes);
    HexGrid1->setCurrentCell(cell / kRowBytes, cell % kRowBytes);
}

void TMainForm::markDifferences(std::int32_t offset)
{
    QBitArray marks(kPageBytes);
    if (offset >= 0) {
        const auto start = static_cast<std::uint32_t>(offset);
        const auto [first, last] = runsWithin(m_differences, start, kPageBytes);
        for (std::size_t i = first; i < last; ++i) {
            const DifferingRun& run = m_differences[i];
            const std::uint32_t from = std::max(run.start, start);
            const std::uint32_t to = std::min(run.end(), start + kPageBytes);
            for (std::uint32_t a = from; a < to; ++a)
                marks.setBit(static_cast<int>(a - start));
        }
    }
    HexGrid1->setMarkedCells(marks);
}

void TMainForm::clearDifferences()
{
    m_differences.clear();
    HexGrid1->setMarkedCells(QBitArray());
}

void TMainForm::NextDifferenceClick()
{
    if (operationRunning())
        return;
    const std::uint32_t here = static_cast<std::uint32_t>(std::max(0, CurrentOffset));
    if (const auto run = nextRun(m_differences, here))
        showDifference(run->start);
    else
        QApplication::beep();
}

void TMainForm::PreviousDifferenceClick()
{
    if (operationRunning())
        return;
    const std::uint32_t here = static_cast<std::uint32_t>(std::max(0, CurrentOffset));
    if (const auto run = previousRun(m_differences, here))
        showDifference(run->start);
    else
        QApplication::beep();
}

void TMainForm::BlankCheckClick()
{
    if (operationRunning())
        return;
    std::vector<std::uint8_t> chip;
    QString chipName;
    if (!readChipForCompare(chip, chipName))
        return;
    showAnswer(this, fromStd(blankCheckText(chipName.toStdString(), chip.data(), chip.size())));
}

void TMainForm::ChecksumsClick()
{
    refuseDuringOperation();
    if (!ImageLoaded) {
        showAnswer(this, QStringLiteral("There is no image: read the chip or load a file first."));
        return;
    }
    const std::vector<std::uint8_t> image = shownImage();
    const Checksums sums = checksumsOf(image.data(), image.size());

    // One box, brought up again with fresh values.
    auto* box = findChild<QDialog*>(QStringLiteral("ChecksumsBox"));
    if (!box) {
        box = new QDialog(this);
        box->setObjectName(QStringLiteral("ChecksumsBox"));
        box->setWindowTitle(QStringLiteral("Checksums"));
        auto* grid = new QGridLayout(box);
        auto* values = new QLabel(box);
        values->setObjectName(QStringLiteral("ChecksumValues"));
        values->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        values->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(values, 0, 0, 1, 2);
        auto* copy = new QPushButton(QStringLiteral("Copy"), box);
        copy->setObjectName(QStringLiteral("ChecksumCopy"));
        connect(copy, &QPushButton::clicked, box, [values] {
            QApplication::clipboard()->setText(values->text() + QLatin1Char('\n'));
        });
        auto* close = new QPushButton(QStringLiteral("Close"), box);
        connect(close, &QPushButton::clicked, box, &QDialog::close);
        grid->addWidget(copy, 1, 0);
        grid->addWidget(close, 1, 1);
    }
    QStringList lines;
    lines << QStringLiteral("Image:   %1 bytes").arg(image.size());
    for (const ChecksumKind kind : kChecksumKinds)
        lines << QStringLiteral("%1 %2")
                     .arg(QString::fromLatin1(checksumLabel(kind)) + QLatin1Char(':'), -8)
                     .arg(fromStd(checksumText(sums, kind)));
    box->findChild<QLabel*>(QStringLiteral("ChecksumValues"))->setText(lines.join(QLatin1Char('\n')));
    box->adjustSize();
    box->show();
    box->raise();
}

} // namespace kavoda
