// SPDX-License-Identifier: MIT
// Gallery pictures of the scrolling text with the main window's credits
// settings (blue 21 px Arial on black, 200 x 113, raised, bottom to top):
// one sheet per text style, each with the roll at rest, at the first step,
// mid-pass, near the end and static; plus the default control as created.
#include "Gallery.h"

#include "ScrollText.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <utility>
#include <vector>

namespace kavoda::gallery {

namespace {

using Shot = std::pair<QString, QImage>;

void creditsLook(TScrollText& s, TTextStyle style)
{
    s.resize(200, 113);
    s.setTextStyle(style);
    s.setSteps(80);
    s.setSpeed(100);
    s.setColor(rgbColor(0, 0, 0));
    s.setContinuous(false);
    s.textFont()->setName(QStringLiteral("Arial"));
    s.textFont()->setPixelHeight(21);
    s.textFont()->setColor(rgbColor(0, 0, 255));
    s.setAlignment(taCenter);
    s.setItems({QStringLiteral("Kavoda Programmer"), QStringLiteral("By"),
                QStringLiteral("Kavoda contributors"), QStringLiteral("1998"),
                QStringLiteral("E-mail"), QStringLiteral("info@example.org")});
    s.setScrollDirection(sdBottomToTop);
}

void ticks(TScrollText& s, int n)
{
    for (int i = 0; i < n; ++i)
        s.tick();
}

// Shots side by side, each under its label, at 1:1 and then doubled.
void saveSheet(const QString& path, const std::vector<Shot>& shots)
{
    constexpr int kGap = 10;
    constexpr int kLabelH = 16;
    int width = kGap;
    int height = 0;
    for (const Shot& s : shots) {
        width += s.second.width() + kGap;
        height = std::max(height, s.second.height());
    }
    QImage sheet(width, kLabelH + height * 3 + 3 * kGap, QImage::Format_RGB32);
    sheet.fill(QColor(236, 236, 236));
    QPainter p(&sheet);
    QFont f(QStringLiteral("Sans Serif"));
    f.setPixelSize(11);
    p.setFont(f);
    int x = kGap;
    for (const Shot& s : shots) {
        p.drawText(x, 12, s.first);
        p.drawImage(x, kLabelH, s.second);
        p.drawImage(QRect(x, kLabelH + height + kGap, s.second.width(), s.second.height() * 2),
                    s.second, QRect(0, 0, s.second.width() / 2, s.second.height()));
        x += s.second.width() + kGap;
    }
    p.end();
    sheet.save(path);
}

QImage shoot(TScrollText& s)
{
    return s.grab().toImage();
}

} // namespace

void renderScrollTextGallery(const QString& outDir)
{
    const QDir dir(outDir);
    const std::pair<TTextStyle, const char*> styles[] = {
        {tsNormal, "normal"}, {tsRaised, "raised"}, {tsLowered, "lowered"}, {tsShaddow, "shadow"}};
    for (const auto& [style, name] : styles) {
        TScrollText s;
        creditsLook(s, style);
        std::vector<Shot> shots;
        shots.emplace_back(QStringLiteral("at rest"), shoot(s));
        ticks(s, 1);
        shots.emplace_back(QStringLiteral("step 1"), shoot(s));
        ticks(s, 39);
        shots.emplace_back(QStringLiteral("step 40"), shoot(s));
        ticks(s, 30);
        shots.emplace_back(QStringLiteral("step 70"), shoot(s));
        s.setScrollDirection(sdStatic);
        shots.emplace_back(QStringLiteral("static"), shoot(s));
        saveSheet(dir.filePath(QStringLiteral("scrolltext-%1.png").arg(QLatin1String(name))), shots);
    }

    // The control as created: one line, right to left, on button face.
    TScrollText plain;
    std::vector<Shot> shots;
    for (int step : {0, 20, 20, 20}) {
        ticks(plain, step);
        shots.emplace_back(QStringLiteral("default, step %1").arg(plain.position()), shoot(plain));
    }
    saveSheet(dir.filePath(QStringLiteral("scrolltext-default.png")), shots);
}

} // namespace kavoda::gallery
