// SPDX-License-Identifier: MIT
// The schematic window: the adapter's circuit diagram, and printing it on one
// page at a fixed size in printer device units.
#pragma once

#include <QDialog>
#include <QImage>
#include <QRect>
#include <memory>

class QGroupBox;
class QLabel;
class QPainter;
class QPrintDialog;
class QPrinter;
class QPushButton;

namespace kavoda {

// The picture's own size, and where it goes on the printed page.
inline constexpr QSize kSchematicSize{683, 438};
inline constexpr QRect kSchematicPrintRect{0, 0, 4296, 2952};

// The schematic rendered from its drawing at its own size.
QImage schematicPicture();

// Draws the whole picture into kSchematicPrintRect of the painter's device.
void drawSchematicPage(QPainter& painter, const QImage& picture);

// True when printing can begin: a native printer that exists, or a PDF with
// a file to go to.
bool printerIsReady(const QPrinter& printer);

// Prints the picture as one page; throws std::runtime_error when there is
// no printer to print on.
void printSchematic(QPrinter& printer, const QImage& picture);

class TForm1 : public QDialog {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    QLabel* Image1;
    QGroupBox* GroupBox1;
    QPushButton* BitBtn1;
    QPushButton* print1;
    QPushButton* BitBtn2;
    QPrintDialog* PrintDialog1;

    void BitBtn1Click();
    void print1Click();
    void BitBtn2Click();

    // The source picture, not the stretched screen image.
    const QImage& picture() const { return m_picture; }
    // The printer every print goes to; the print dialog changes it.
    QPrinter& printer() { return *m_printer; }

    void setVisible(bool visible) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_picture;
    std::unique_ptr<QPrinter> m_printer;
};

} // namespace kavoda
