// SPDX-License-Identifier: MIT
// The schematic window and its printing.
#include "Unit1.h"

#include "ErrorReport.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QResizeEvent>
#include <QSvgRenderer>
#include <stdexcept>

namespace kavoda {

namespace {

constexpr int kImageHeight = 377;

// A PDF has no device resolution of its own; this is a common laser
// printer's, so the page comes out as it would on paper.
constexpr int kPdfResolution = 600;

// A 32 x 16 glyph holds the normal image on the left and the disabled one on
// the right.
QIcon glyphIcon(const QString& path)
{
    QIcon icon;
    const QPixmap glyph(path);
    if (glyph.isNull())
        return icon;
    const int half = glyph.width() / 2;
    icon.addPixmap(glyph.copy(0, 0, half, glyph.height()), QIcon::Normal);
    icon.addPixmap(glyph.copy(half, 0, glyph.width() - half, glyph.height()), QIcon::Disabled);
    return icon;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text, QRect geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setIconSize(QSize(16, 16));
    button->setAutoDefault(false);
    return button;
}

} // namespace

QImage schematicPicture()
{
    QImage picture(kSchematicSize, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QSvgRenderer renderer(QStringLiteral(":/secondary/schematic.svg"));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(kSchematicSize)));
    return picture;
}

void drawSchematicPage(QPainter& painter, const QImage& picture)
{
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(kSchematicPrintRect, picture, picture.rect());
}

bool printerIsReady(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return !printer.outputFileName().isEmpty();
    const QString name = printer.printerName();
    return !name.isEmpty() && !QPrinterInfo::printerInfo(name).isNull();
}

void printSchematic(QPrinter& printer, const QImage& picture)
{
    static const char* const kNoPrinter = "There is no default printer currently selected";
    if (!printerIsReady(printer))
        throw std::runtime_error(kNoPrinter);
    // Device units from the paper's corner, not from inside the margins.
    printer.setFullPage(true);
    if (printer.outputFormat() == QPrinter::PdfFormat)
        printer.setResolution(kPdfResolution);
    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error(kNoPrinter);
    // The painter ends the document when it goes, also on a throw.
    drawSchematicPage(painter, picture);
    painter.end();
}

// No maximize button: the window always opens maximized, and restored to its
// design size it would hide the print buttons below its client area.
TForm1::TForm1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_picture(schematicPicture())
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setWindowTitle(QStringLiteral("Kavoda schematic diagram"));
    setSizeGripEnabled(false);
    resize(427, 340);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(m_picture));
    Image1->setGeometry(0, 0, width(), kImageHeight);

    GroupBox1 = new QGroupBox(QStringLiteral("Print"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(152, 384, 337, 65);

    BitBtn1 = makeButton(GroupBox1, QStringLiteral("BitBtn1"), QStringLiteral("&Setup"),
                         QRect(22, 24, 75, 25));
    BitBtn1->setIcon(glyphIcon(QStringLiteral(":/secondary/setup.xpm")));
    print1 = makeButton(GroupBox1, QStringLiteral("print1"), QStringLiteral("&Print"),
                        QRect(134, 24, 75, 25));
    BitBtn2 = makeButton(GroupBox1, QStringLiteral("BitBtn2"), QStringLiteral("&Exit"),
                         QRect(246, 24, 75, 25));
    BitBtn2->setIcon(glyphIcon(QStringLiteral(":/secondary/exit.xpm")));

    PrintDialog1 = new QPrintDialog(m_printer.get(), this);
    PrintDialog1->setObjectName(QStringLiteral("PrintDialog1"));

    connect(BitBtn1, &QPushButton::clicked, this, slot([this] { BitBtn1Click(); }));
    connect(print1, &QPushButton::clicked, this, slot([this] { print1Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, slot([this] { BitBtn2Click(); }));

    setWindowState(Qt::WindowMaximized);
}

// The dialog holds a pointer to the printer, so it must go first.
TForm1::~TForm1()
{
    delete PrintDialog1;
}

void TForm1::setVisible(bool visible)
{
    // Every showing opens maximized, also after an earlier one was restored.
    if (visible)
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    QDialog::setVisible(visible);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Image1->setGeometry(0, 0, width(), kImageHeight);
}

void TForm1::BitBtn1Click()
{
    // The choice made there stays on the printer; a cancel changes nothing.
    PrintDialog1->exec();
}

void TForm1::print1Click()
{
    printSchematic(*m_printer, m_picture);
}

void TForm1::BitBtn2Click()
{
    close();
}

} // namespace kavoda
