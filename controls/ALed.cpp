// SPDX-License-Identifier: MIT
// TALed: template loading, the lens flood fill, the blink timer and the
// property setters.
#include "ALed.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace kavoda {

namespace {

struct LedTemplate {
    const char* resource;
    int width;
    int height;
};

// Indexed by TLEDStyle.
constexpr LedTemplate kTemplates[kLedStyleCount] = {
    {"ALEDSM", 15, 15},   {"ALEDLG", 22, 22}, {"ALEDSQSM", 16, 16},
    {"ALEDSQLG", 22, 22}, {"ALEDVT", 14, 22}, {"ALEDHZ", 22, 14},
};

bool isValidStyle(TLEDStyle style)
{
    return static_cast<int>(style) >= 0 && static_cast<int>(style) < kLedStyleCount;
}

} // namespace

QString ledTemplateResource(TLEDStyle style)
{
    if (!isValidStyle(style))
        return {};
    return QStringLiteral(":/leds/%1.bmp").arg(QLatin1String(kTemplates[style].resource));
}

QSize ledNaturalSize(TLEDStyle style)
{
    if (!isValidStyle(style))
        return {};
    return {kTemplates[style].width, kTemplates[style].height};
}

QImage loadLedTemplate(TLEDStyle style)
{
    if (!isValidStyle(style))
        return {};
    QImage image(ledTemplateResource(style));
    if (image.isNull()) {
        qWarning("TALed: template %s is missing", kTemplates[style].resource);
        return {};
    }
    // The 16-colour template can hold no arbitrary lens colour; fill a 32-bit copy.
    return image.convertToFormat(QImage::Format_RGB32);
}

int floodFillSurface(QImage& image, QPoint seed, QRgb key, QRgb fill)
{
    if (!image.rect().contains(seed))
        return 0;
    const QImage::Format format = image.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32)
        return 0;
    const QRgb keyOpaque = key | 0xFF000000u;
    const QRgb fillOpaque = fill | 0xFF000000u;
    auto at = [&image](int x, int y) -> QRgb& {
        return reinterpret_cast<QRgb*>(image.scanLine(y))[x];
    };
    auto isKey = [&](int x, int y) { return (at(x, y) | 0xFF000000u) == keyOpaque; };
    // Filling with the key colour itself would leave nothing to tell filled
    // pixels from unfilled ones; the result is the image as it is.
    if (!isKey(seed.x(), seed.y()) || keyOpaque == fillOpaque)
        return 0;

    // Scanline fill: each popped seed fills its whole run, then queues the runs
    // above and below it.
    int changed = 0;
    std::vector<QPoint> stack{seed};
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        const int y = p.y();
        if (!isKey(p.x(), y))
            continue;
        int left = p.x();
        while (left > 0 && isKey(left - 1, y))
            --left;
        int right = p.x();
        while (right + 1 < image.width() && isKey(right + 1, y))
            ++right;
        for (int x = left; x <= right; ++x)
            at(x, y) = fillOpaque;
        changed += right - left + 1;
        for (int ny : {y - 1, y + 1}) {
            if (ny < 0 || ny >= image.height())
                continue;
            bool inRun = false;
            for (int x = left; x <= right; ++x) {
                const bool k = isKey(x, ny);
                if (k && !inRun)
                    stack.emplace_back(x, ny);
                inRun = k;
            }
        }
    }
    return changed;
}

TALed::TALed(QWidget* parent) : QWidget(parent)
{
    buildImages();
}

TALed::~TALed()
{
    stopBlinking();
}

QSize TALed::sizeHint() const
{
    return ledNaturalSize(m_ledStyle);
}

void TALed::buildImages()
{
    // Every rebuild snaps the control back to the template's size.
    resize(ledNaturalSize(m_ledStyle));
    m_images[kLitImage] = loadLedTemplate(m_ledStyle);
    m_images[kUnlitImage] = loadLedTemplate(m_ledStyle);
    if (m_images[kLitImage].isNull())
        return;
    // The fill starts at the template's centre pixel, which every template
    // keeps inside its lens. It is the control's centre too once resized, but
    // taken from the image so that a size constraint on the widget cannot move
    // the seed off the lens.
    const QPoint centre(m_images[kLitImage].width() / 2, m_images[kLitImage].height() / 2);
    floodFillSurface(m_images[kLitImage], centre, kLedKeyColor, toQColor(m_trueColor).rgb());
    floodFillSurface(m_images[kUnlitImage], centre, kLedKeyColor, toQColor(m_falseColor).rgb());
}

void TALed::showImage(int index)
{
    m_shownImage = index;
    ++m_immediateDraws;
    repaint();
}

void TALed::showCurrentState()
{
    showImage(m_value ? kLitImage : kUnlitImage);
}

void TALed::startBlinking()
{
    if (m_blinkTimer)
        return;
    m_shownImage = kLitImage;
    m_blinkTimer = new QTimer(this);
    connect(m_blinkTimer, &QTimer::timeout, this, &TALed::blinkTick);
    // A period of 0 means no ticks at all; a QTimer would fire at every turn
    // of the event loop.
    m_blinkTimer->setInterval(std::max(m_interval, 0));
    if (m_interval > 0)
        m_blinkTimer->start();
}

void TALed::stopBlinking()
{
    if (!m_blinkTimer)
        return;
    QTimer* timer = m_blinkTimer;
    m_blinkTimer = nullptr;
    if (m_inTick) {
        // Stopped from an OnTimer handler: the timer may be the one whose
        // timeout is being delivered, so it is silenced now and freed later.
        timer->stop();
        timer->disconnect(this);
        timer->deleteLater();
    } else {
        delete timer;
    }
}

void TALed::blinkTick()
{
    showImage(m_shownImage == kLitImage ? kUnlitImage : kLitImage);
    // The flag is put back on every path, unless the handler deleted the LED:
    // then nothing of it may be touched.
    const QPointer<TALed> alive(this);
    m_inTick = true;
    const auto restore = qScopeGuard([&] {
        if (alive)
            m_inTick = false;
    });
    emit OnTimer(this);
}

void TALed::setValue(bool v)
{
    if (v == m_value)
        return;
    m_value = v;
    if (v) {
        showImage(kLitImage);
        if (m_blink)
            startBlinking();
    } else {
        stopBlinking();
        showImage(kUnlitImage);
    }
}

void TALed::setBlink(bool b)
{
    if (b == m_blink)
        return;
    showCurrentState();
    m_blink = b;
    if (b && m_value)
        startBlinking();
    else
        stopBlinking();
}

void TALed::setColor(TColor& field, TColor c)
{
    if (c == field)
        return;
    // Blink off and on again: the state is shown steadily while the images
    // are rebuilt, and a blinking LED starts its phase again from lit.
    const bool wasBlinking = m_blink;
    if (wasBlinking)
        setBlink(false);
    field = c;
    buildImages();
    setBlink(wasBlinking);
    showImage(m_shownImage);
}

void TALed::setTrueColor(TColor c)
{
    setColor(m_trueColor, c);
}

void TALed::setFalseColor(TColor c)
{
    setColor(m_falseColor, c);
}

void TALed::setInterval(int ms)
{
    m_interval = ms;
    if (!m_blinkTimer)
        return;
    const int period = std::max(ms, 0);
    if (period == m_blinkTimer->interval())
        return; // same period: the countdown runs on
    if (period > 0) {
        m_blinkTimer->start(period); // restarts the countdown
    } else {
        m_blinkTimer->stop();
        m_blinkTimer->setInterval(0);
    }
}

void TALed::setLEDStyle(TLEDStyle s)
{
    if (s == m_ledStyle || !isValidStyle(s))
        return;
    m_ledStyle = s;
    buildImages();
    showImage(m_shownImage);
}

void TALed::setShowHint(bool on)
{
    m_showHint = on;
}

bool TALed::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip && !m_showHint) {
        // Ignored, so the parent gets the chance to show its own hint.
        e->ignore();
        return true;
    }
    return QWidget::event(e);
}

void TALed::paintEvent(QPaintEvent*)
{
    const QImage& image = m_images[m_shownImage];
    if (image.isNull())
        return;
    QPainter painter(this);
    // Nearest-neighbour stretch: a 1:1 copy at the natural size.
    painter.drawImage(rect(), image);
}

void TALed::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    emit OnMouseEnter(this);
}

void TALed::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    emit OnMouseLeave(this);
}

void TALed::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        m_pressed = true;
        e->accept();
        return;
    }
    QWidget::mousePressEvent(e);
}

void TALed::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_pressed) {
        m_pressed = false;
        e->accept();
        if (rect().contains(e->position().toPoint()))
            emit OnClick(this);
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

} // namespace kavoda
