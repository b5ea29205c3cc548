// SPDX-License-Identifier: MIT
// Gallery pictures of the progress meter: colour mode at several fill levels,
// captions, the four directions, borders and bevels, and the picture modes.
// Each meter appears at 1:1 and enlarged three times (nearest neighbour) so
// single pixels can be checked by eye.
#include "Gallery.h"

#include "Feedback.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <utility>
#include <vector>

namespace kavoda::gallery {

namespace {

using Shot = std::pair<QString, QImage>;

// The main window's meter: 209 x 25, lime bar on black, white 11-pixel sans
// serif text, four inset bevel rings, text in the font colour.
void mainWindowLook(TNeatoMeter& m)
{
    m.resize(209, 25);
    m.setBackColor(clBlack);
    m.setForeColor(clLime);
    m.setBevelDepth(4);
    m.setUseFontColor(true);
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    m.setFont(f);
    QPalette pal = m.palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    m.setPalette(pal);
}

QImage shoot(TNeatoMeter& m)
{
    return m.grab().toImage();
}

// One row per shot: label, the meter at 1:1, then three times larger.
void saveSheet(const QString& path, const std::vector<Shot>& shots)
{
    constexpr int kScale = 3;
    constexpr int kLabelW = 260;
    constexpr int kGap = 12;
    int width = 0;
    int height = kGap;
    for (const Shot& s : shots) {
        width = std::max(width, kLabelW + s.second.width() * (1 + kScale) + 3 * kGap);
        height += s.second.height() * kScale + kGap;
    }
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(QColor(236, 236, 236));
    QPainter p(&sheet);
    int y = kGap;
    for (const Shot& s : shots) {
        const QImage& img = s.second;
        p.setPen(Qt::black);
        p.drawText(QRect(kGap, y, kLabelW - kGap, img.height() * kScale),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, s.first);
        p.drawImage(kLabelW, y, img);
        p.drawImage(kLabelW + img.width() + kGap, y,
                    img.scaled(img.width() * kScale, img.height() * kScale, Qt::IgnoreAspectRatio,
                               Qt::FastTransformation));
        y += img.height() * kScale + kGap;
    }
    p.end();
    sheet.save(path);
}

QImage patternBitmap()
{
    QImage bmp(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool check = ((x / 2) + (y / 2)) % 2 == 0;
            bmp.setPixel(x, y, check ? qRgb(230, 120, 0) : qRgb(20, 60, 160));
        }
    bmp.setPixel(0, 0, qRgb(255, 255, 255)); // marks each tile's origin
    return bmp;
}

} // namespace

void renderMeterGallery(const QString& outDir)
{
    {
        std::vector<Shot> shots;
        for (int pct : {0, 33, 50, 100}) {
            TNeatoMeter m;
            mainWindowLook(m);
            m.setPercent(pct);
            shots.emplace_back(QStringLiteral("main window, %1 %").arg(pct), shoot(m));
        }
        for (int pct : {0, 33, 50, 100}) {
            TNeatoMeter m;
            m.resize(209, 25);
            m.setPercent(pct);
            shots.emplace_back(QStringLiteral("default, two-colour text, %1 %").arg(pct), shoot(m));
        }
        for (int pct : {33, 50}) {
            TNeatoMeter m;
            m.resize(209, 25);
            m.setUseFontColor(true);
            m.setPercent(pct);
            shots.emplace_back(QStringLiteral("default, UseFontColor, %1 %").arg(pct), shoot(m));
        }
        for (int pct : {33, 50}) {
            TNeatoMeter m;
            mainWindowLook(m);
            m.setUseFontColor(false);
            m.setPercent(pct);
            shots.emplace_back(QStringLiteral("main window, two-colour text, %1 %").arg(pct),
                               shoot(m));
        }
        saveSheet(outDir + QStringLiteral("/meter-colour.png"), shots);
    }
    {
        std::vector<Shot> shots;
        TNeatoMeter a;
        mainWindowLook(a);
        a.setForeColor(0xFF0000); // blue, as after a read
        a.setPercent(100);
        a.setCaption(QStringLiteral("Operation completed"));
        shots.emplace_back(QStringLiteral("main window after a read, caption"), shoot(a));
        TNeatoMeter b;
        b.resize(209, 25);
        b.setPercent(50);
        b.setCaption(QStringLiteral("Operation completed"));
        shots.emplace_back(QStringLiteral("default, caption at 50 %"), shoot(b));
        TNeatoMeter c;
        c.resize(209, 25);
        c.setShowPercent(false);
        c.setPercent(40);
        shots.emplace_back(QStringLiteral("ShowPercent off, no caption"), shoot(c));
        TNeatoMeter d;
        mainWindowLook(d);
        d.setBorderStyle(bsSingle);
        d.setPercent(50);
        shots.emplace_back(QStringLiteral("main window, single border, 50 %"), shoot(d));
        TNeatoMeter e;
        e.resize(209, 25);
        e.setBevelType(btRaised);
        e.setBevelDepth(4);
        e.setPercent(50);
        shots.emplace_back(QStringLiteral("raised bevel, 4 rings, 50 %"), shoot(e));
        saveSheet(outDir + QStringLiteral("/meter-caption.png"), shots);
    }
    {
        std::vector<Shot> shots;
        const std::pair<TMeterDirection, const char*> dirs[] = {
            {mdLeftToRight, "left to right"},
            {mdRightToLeft, "right to left"},
            {mdTopToBottom, "top to bottom"},
            {mdBottomToTop, "bottom to top"},
        };
        for (const auto& [dir, name] : dirs) {
            TNeatoMeter m;
            const bool vertical = dir == mdTopToBottom || dir == mdBottomToTop;
            m.resize(vertical ? 40 : 209, vertical ? 120 : 25);
            m.setBevelDepth(2);
            m.setDirection(dir);
            m.setPercent(33);
            shots.emplace_back(QStringLiteral("%1, 33 %").arg(QLatin1String(name)), shoot(m));
        }
        saveSheet(outDir + QStringLiteral("/meter-directions.png"), shots);
    }
    {
        std::vector<Shot> shots;
        const std::pair<TBitmapDrawStyle, const char*> modes[] = {
            {dsStretch, "stretch"},
            {dsTile, "tile"},
            {dsTileInvert, "tile, invert the rest"},
        };
        for (const auto& [mode, name] : modes) {
            TNeatoMeter m;
            m.resize(120, 25);
            m.setBackColor(clSilver);
            m.setBitmap(patternBitmap());
            m.setBitmapDrawStyle(mode);
            m.setPercent(40);
            shots.emplace_back(QStringLiteral("picture: %1, 40 %").arg(QLatin1String(name)),
                               shoot(m));
        }
        saveSheet(outDir + QStringLiteral("/meter-pictures.png"), shots);
    }
}

} // namespace kavoda::gallery
