// SPDX-License-Identifier: MIT
// Tests of the about box and the schematic window: layout, the self-closing
// timer, the picture and the printed page.
#include "ErrorReport.h"
#include "Unit1.h"
#include "Panel.h"
#include "about.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include "QtTempFolder.h"
#include <QTimer>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

// Runs f on the modal window once its loop is running.
template <class W, class F>
void onModal(F f)
{
    QTimer::singleShot(0, [f] {
        auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        f(w);
    });
}

struct BeepCounter {
    int count = 0;
    BeepCounter() { setAboutBeep([this] { ++count; }); }
    ~BeepCounter() { setAboutBeep({}); }
};

struct ReportSink {
    QStringList reports;
    ReportSink() { setErrorReportSink([this](const QString& t) { reports << t; }); }
    ~ReportSink() { setErrorReportSink({}); }
};

// Renders page 1 of a PDF at the given resolution; a null image when
// poppler's pdftoppm is not there.
QImage renderPdf(const QString& pdf, int dpi)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        return {};
    const QString out = pdf + QStringLiteral(".page");
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
                       QStringLiteral("-singlefile"), pdf, out});
    return QImage(out + QStringLiteral(".png"));
}

int pdfPageCount(const QString& pdf)
{
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = file.readAll();
    // Qt writes the page objects uncompressed; "/Type /Pages" is the tree.
    return data.count("/Type /Page") - data.count("/Type /Pages");
}

bool isDark(QRgb c) { return qGray(c) < 96; }

} // namespace

// --- about box ---

TEST(AboutBox, LayoutFontsAndColours)
{
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "Kavoda Programmer");
    // The program icon in the title bar; a close box and no other button.
    EXPECT_FALSE(box.windowIcon().isNull());
    EXPECT_TRUE(box.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(box.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(box.minimumSize(), QSize(281, 216));
    EXPECT_EQ(box.maximumSize(), QSize(281, 216));
    EXPECT_EQ(box.font().pixelSize(), 11);
    EXPECT_EQ(box.Panel1->geometry(), QRect(24, 8, 233, 193));
    EXPECT_EQ(box.ProgramIcon->geometry(), QRect(8, 8, 33, 33));
    EXPECT_TRUE(box.ProgramIcon->hasScaledContents());
    EXPECT_TRUE(box.Label3->text().isEmpty());

    struct Expect {
        QLabel* label;
        int top;
        int pixels;
        bool bold;
        QColor colour;
    };
    const QColor navy(0, 0, 128), blue(0, 0, 255);
    const Expect expected[] = {
        {box.Label2, 20, 19, true, navy}, {box.Label1, 48, 19, true, navy},
        {box.Label3, 80, 13, false, navy}, {box.Label4, 104, 13, false, blue},
        {box.Label5, 120, 13, false, blue}, {box.Label6, 144, 13, false, navy},
        {box.Label7, 160, 13, false, navy},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.label->objectName().toStdString());
        EXPECT_EQ(e.label->parentWidget(), static_cast<QWidget*>(box.Panel1));
        EXPECT_EQ(e.label->y(), e.top);
        EXPECT_EQ(e.label->font().pixelSize(), e.pixels);
        EXPECT_EQ(e.label->font().bold(), e.bold);
        EXPECT_EQ(e.label->palette().color(QPalette::WindowText), e.colour);
        EXPECT_TRUE(e.label->alignment() & Qt::AlignHCenter);
    }
    EXPECT_EQ(box.Label2->text(), "Kavoda");
    EXPECT_EQ(box.Label1->text(), "Programmer");
    for (QLabel* credit : {box.Label4, box.Label5, box.Label6, box.Label7})
        EXPECT_FALSE(credit->text().isEmpty());
    EXPECT_EQ(box.Timer1->interval(), 3000);
    EXPECT_FALSE(box.Timer1->isActive());
}

TEST(AboutBox, LabelBoxesStayCentredInsideThePanel)
{
    // A text that fits keeps the given left edge, mirrored about the middle.
    EXPECT_EQ(centredLabelBox(80, 20, 23, 60, 233, 4), QRect(80, 20, 73, 23));
    // A wider text widens the box on both sides, still centred.
    EXPECT_EQ(centredLabelBox(80, 20, 23, 90, 233, 4), QRect(71, 20, 91, 23));
    EXPECT_EQ(centredLabelBox(80, 20, 23, 92, 233, 4), QRect(70, 20, 93, 23));
    // Never past the bevels.
    EXPECT_EQ(centredLabelBox(60, 80, 16, 400, 233, 4), QRect(4, 80, 225, 16));

    TAboutBox box;
    AboutVersion = QStringLiteral("1.2 1998");
    box.FormActivate();
    for (QLabel* label : box.Panel1->findChildren<QLabel*>()) {
        if (label == box.ProgramIcon)
            continue;
        SCOPED_TRACE(label->objectName().toStdString());
        const QRect r = label->geometry();
        EXPECT_GE(r.left(), 4);
        EXPECT_LE(r.right(), 233 - 5);
        EXPECT_EQ(r.left() + r.right(), 232);  // centred on the panel
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), r.width());
    }
    box.Timer1->stop();
}

TEST(AboutBox, EachOpeningIsAFreshBoxThatBeepsShowsTheVersionAndClosesOnTheTick)
{
    BeepCounter beeps;
    QList<QPointer<TAboutBox>> boxes;
    QStringList versions;
    QList<int> beepsWhenShown;
    for (const char* v : {"1.2 1998", "second"}) {
        onModal<TAboutBox>([&](TAboutBox* box) {
            if (!boxes.isEmpty()) {
                EXPECT_TRUE(boxes.front().isNull()) << "the first box is gone, this one is new";
            }
            boxes << box;
            versions << box->Label3->text();
            beepsWhenShown << beeps.count;
            EXPECT_TRUE(box->Timer1->isActive());
            EXPECT_EQ(box->Timer1->interval(), 3000);
            const QPoint off = box->frameGeometry().center()
                - box->screen()->availableGeometry().center();
            EXPECT_LE(off.manhattanLength(), 1) << "centred on the screen";
            box->Timer1Timer();
            EXPECT_FALSE(box->Timer1->isActive());
        });
        EXPECT_TRUE(ShowAboutBox(QString::fromLatin1(v)));
    }
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_TRUE(boxes[0].isNull() && boxes[1].isNull()) << "destroyed when closed";
    EXPECT_EQ(versions, QStringList({"Versione  1.2 1998", "Versione  second"}));
    EXPECT_EQ(beepsWhenShown, QList<int>({1, 2}));
    EXPECT_EQ(beeps.count, 2);
    EXPECT_EQ(AboutVersion, "second");
}

// --- schematic window ---

TEST(SchematicWindow, ControlsAndCaptions)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Kavoda schematic diagram");
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form.GroupBox1->title(), "Print");
    EXPECT_EQ(form.GroupBox1->geometry(), QRect(152, 384, 337, 65));

    struct Expect {
        QPushButton* button;
        QString text;
        QRect geometry;
        bool glyph;
    };
    const Expect expected[] = {
        {form.BitBtn1, "&Setup", QRect(22, 24, 75, 25), true},
        {form.print1, "&Print", QRect(134, 24, 75, 25), false},
        {form.BitBtn2, "&Exit", QRect(246, 24, 75, 25), true},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.text.toStdString());
        EXPECT_EQ(e.button->parentWidget(), form.GroupBox1);
        EXPECT_EQ(e.button->text(), e.text);
        EXPECT_EQ(e.button->geometry(), e.geometry);
        EXPECT_EQ(!e.button->icon().isNull(), e.glyph);
        if (e.glyph) {
            // The glyph's two halves: the right one is the disabled image.
            const QImage normal = e.button->icon().pixmap(16, 16).toImage();
            const QImage disabled = e.button->icon().pixmap(16, 16, QIcon::Disabled).toImage();
            EXPECT_EQ(normal.size(), QSize(16, 16));
            EXPECT_NE(normal, disabled);
        }
    }
    EXPECT_EQ(form.PrintDialog1->printer(), &form.printer());
}

TEST(SchematicWindow, PictureFillsTheTopAtFullWidth)
{
    TForm1 form;
    form.show();
    QCoreApplication::processEvents();
    EXPECT_GT(form.width(), 427) << "opens maximized";
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, form.width(), 377));
    form.resize(1024, 700);
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 1024, 377));
    EXPECT_TRUE(form.Image1->hasScaledContents());
    form.hide();

    const QImage& picture = form.picture();
    ASSERT_EQ(picture.size(), QSize(683, 438));
    int dark = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            dark += isDark(picture.pixel(x, y));
    // A drawing, not a blank or a black sheet.
    EXPECT_GT(dark, picture.width() * picture.height() / 50);
    EXPECT_LT(dark, picture.width() * picture.height() / 3);
}

TEST(SchematicWindow, ExitClosesTheModalShowing)
{
    TForm1 form;
    bool wasMaximized = false;
    onModal<TForm1>([&](TForm1* f) {
        wasMaximized = f->windowState() & Qt::WindowMaximized;
        f->BitBtn2->click();
    });
    form.exec();
    EXPECT_TRUE(wasMaximized);
    EXPECT_FALSE(form.isVisible());
}

TEST(SchematicPrint, PagePlacesThePictureAtTheOriginInDeviceUnits)
{
    QtTempFolder dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    QImage red(683, 438, QImage::Format_RGB32);
    red.fill(Qt::red);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    printSchematic(printer, red);

    EXPECT_EQ(pdfPageCount(pdf), 1);
    // 4296 x 2952 units at 600 dpi are 429.6 x 295.2 pixels at 60 dpi, from
    // the paper's corner whatever the margins.
    const QImage page = renderPdf(pdf, 60);
    if (page.isNull())
        GTEST_SKIP() << "pdftoppm not installed";
    auto isRed = [&](int x, int y) {
        const QColor c = page.pixelColor(x, y);
        return c.red() > 200 && c.green() < 60 && c.blue() < 60;
    };
    EXPECT_TRUE(isRed(0, 0));
    EXPECT_TRUE(isRed(428, 0));
    EXPECT_TRUE(isRed(0, 294));
    EXPECT_TRUE(isRed(428, 294));
    EXPECT_FALSE(isRed(432, 10));
    EXPECT_FALSE(isRed(10, 297));
}

TEST(SchematicPrint, NoPrinterReachesTheErrorReport)
{
    ReportSink sink;
    TForm1 form;
    form.printer().setOutputFormat(QPrinter::PdfFormat);
    form.printer().setOutputFileName(QString());
    form.print1->click();
    EXPECT_EQ(sink.reports, QStringList("There is no default printer currently selected."));
}

TEST(SchematicPrint, SetupCancelledKeepsThePrinterAndPrintGivesTheSchematicOnOnePage)
{
    QtTempFolder dir;
    const QString pdf = dir.filePath(QStringLiteral("schematic.pdf"));
    ReportSink sink;
    TForm1 form;
    form.printer().setOutputFormat(QPrinter::PdfFormat);
    form.printer().setOutputFileName(pdf);
    bool ranDialog = false;
    onModal<QPrintDialog>([&](QPrintDialog* dialog) {
        ranDialog = dialog == form.PrintDialog1;
        dialog->reject();
    });
    form.BitBtn1->click();
    EXPECT_TRUE(ranDialog);
    EXPECT_EQ(form.printer().outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(form.printer().outputFileName(), pdf);

    form.print1->click();
    EXPECT_TRUE(sink.reports.isEmpty()) << sink.reports.join('\n').toStdString();
    EXPECT_EQ(pdfPageCount(pdf), 1);
    const QImage page = renderPdf(pdf, 60);
    if (page.isNull())
        GTEST_SKIP() << "pdftoppm not installed";
    int darkInside = 0, darkOutside = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            (x < 430 && y < 296 ? darkInside : darkOutside) += isDark(page.pixel(x, y));
    EXPECT_GT(darkInside, 430 * 296 / 50);
    EXPECT_EQ(darkOutside, 0);
}
