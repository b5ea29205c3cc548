// SPDX-License-Identifier: MIT
// Gallery pictures of TALed: every style, lit and unlit, in the colours of the
// main window's three LEDs, enlarged eight times without smoothing.
#include "ALed.h"
#include "Gallery.h"

#include <QDir>
#include <QImage>
#include <QPainter>

namespace kavoda::gallery {

namespace {

struct ColourPair {
    const char* name;
    TColor lit;
    TColor unlit;
};

constexpr ColourPair kPairs[] = {
    {"ALed1", clRed, rgbColor(128, 0, 64)},
    {"ALed2", clLime, rgbColor(0, 64, 0)},
    {"ALed3", clLime, rgbColor(0, 64, 64)},
};

constexpr const char* kStyleNames[kLedStyleCount] = {
    "LEDSmall", "LEDLarge", "LEDSqSmall", "LEDSqLarge", "LEDVertical", "LEDHorizontal",
};

constexpr int kScale = 8;
constexpr int kCell = 22 * kScale + 16;
constexpr int kLabelWidth = 120;
constexpr int kHeaderHeight = 24;

QImage shot(TLEDStyle style, const ColourPair& pair, bool lit)
{
    TALed led;
    led.setLEDStyle(style);
    led.setTrueColor(pair.lit);
    led.setFalseColor(pair.unlit);
    led.setValue(lit);
    const QImage image = led.grab().toImage();
    return image.scaled(image.size() * kScale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

void renderLedGallery(const QString& outDir)
{
    const int columns = 2 * int(std::size(kPairs));
    QImage sheet(kLabelWidth + columns * kCell, kHeaderHeight + kLedStyleCount * kCell,
                 QImage::Format_RGB32);
    // A blue-grey ground, so the templates' white, silver and grey edges show.
    sheet.fill(QColor(70, 90, 120));
    QPainter painter(&sheet);
    painter.setPen(Qt::white);

    for (int c = 0; c < columns; ++c) {
        const ColourPair& pair = kPairs[c / 2];
        const QString title =
            QStringLiteral("%1 %2").arg(QLatin1String(pair.name), c % 2 ? "unlit" : "lit");
        painter.drawText(QRect(kLabelWidth + c * kCell, 0, kCell, kHeaderHeight),
                         Qt::AlignCenter, title);
    }
    for (int s = 0; s < kLedStyleCount; ++s) {
        const auto style = static_cast<TLEDStyle>(s);
        const int top = kHeaderHeight + s * kCell;
        painter.drawText(QRect(4, top, kLabelWidth - 8, kCell), Qt::AlignVCenter | Qt::AlignLeft,
                         QLatin1String(kStyleNames[s]));
        for (int c = 0; c < columns; ++c) {
            const QImage image = shot(style, kPairs[c / 2], c % 2 == 0);
            const int left = kLabelWidth + c * kCell;
            painter.drawImage(left + (kCell - image.width()) / 2, top + (kCell - image.height()) / 2,
                              image);
        }
    }
    painter.end();
    sheet.save(QDir(outDir).filePath(QStringLiteral("led_styles.png")));
}

} // namespace kavoda::gallery
