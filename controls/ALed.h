// SPDX-License-Identifier: MIT
// TALed: a small lamp, lit or unlit and optionally blinking while lit. Its look
// is one of six template bitmaps whose lens is recoloured twice, once with the
// lit and once with the unlit colour; drawing only ever copies one of the two
// finished images.
#pragma once

#include "Colors.h"

#include <QImage>
#include <QRgb>
#include <QSize>
#include <QWidget>
#include <array>

class QTimer;

namespace kavoda {

enum TLEDStyle { LEDSmall, LEDLarge, LEDSqSmall, LEDSqLarge, LEDVertical, LEDHorizontal };

constexpr int kLedStyleCount = 6;

// The template's lens colour, replaced by the lit and unlit colours.
constexpr QRgb kLedKeyColor = 0xFF00FF00u;

// The template's resource path (":/leds/ALEDSM.bmp" and so on) and its size.
QString ledTemplateResource(TLEDStyle style);
QSize ledNaturalSize(TLEDStyle style);

// The template as a 32-bit image, or a null image for an unknown style.
QImage loadLedTemplate(TLEDStyle style);

// Replaces the 4-connected region of pixels whose colour is exactly `key`,
// starting at `seed`, with `fill` (a surface fill: the region is bounded by
// any other colour). Returns the number of pixels changed. The image must be
// 32-bit; a seed outside it or off the key colour changes nothing.
int floodFillSurface(QImage& image, QPoint seed, QRgb key, QRgb fill);

class TALed : public QWidget {
    Q_OBJECT
    Q_PROPERTY(kavoda::TColor TrueColor READ trueColor WRITE setTrueColor)
    Q_PROPERTY(kavoda::TColor FalseColor READ falseColor WRITE setFalseColor)
    Q_PROPERTY(bool Blink READ blink WRITE setBlink)
    Q_PROPERTY(bool Value READ value WRITE setValue)
    Q_PROPERTY(int Interval READ interval WRITE setInterval)
    Q_PROPERTY(kavoda::TLEDStyle LEDStyle READ ledStyle WRITE setLEDStyle)
    Q_PROPERTY(bool ShowHint READ showHint WRITE setShowHint)

public:
    // Indices of the image pair, as ShownImage holds them.
    static constexpr int kLitImage = 0;
    static constexpr int kUnlitImage = 1;

    explicit TALed(QWidget* parent = nullptr);
    ~TALed() override;

    TColor trueColor() const { return m_trueColor; }
    TColor falseColor() const { return m_falseColor; }
    bool blink() const { return m_blink; }
    bool value() const { return m_value; }
    int interval() const { return m_interval; }
    TLEDStyle ledStyle() const { return m_ledStyle; }
    // The hint (the widget's tool tip) shows only while this is on; when off,
    // the parent's hint is offered instead.
    bool showHint() const { return m_showHint; }

    void setTrueColor(TColor c);
    void setFalseColor(TColor c);
    void setBlink(bool b);
    void setValue(bool v);
    void setInterval(int ms);
    void setLEDStyle(TLEDStyle s);
    void setShowHint(bool on);

    // Which image is on screen: kLitImage or kUnlitImage.
    int shownImage() const { return m_shownImage; }
    const QImage& litImage() const { return m_images[kLitImage]; }
    const QImage& unlitImage() const { return m_images[kUnlitImage]; }
    // The blink timer while blinking, else null.
    const QTimer* blinkTimer() const { return m_blinkTimer; }
    // How many times an image was put on screen at once (outside a paint).
    int immediateDrawCount() const { return m_immediateDraws; }

    QSize sizeHint() const override;

public slots:
    // One blink step: toggle the shown image, draw it at once, fire OnTimer.
    void blinkTick();

signals:
    void OnTimer(kavoda::TALed* sender);
    void OnMouseEnter(kavoda::TALed* sender);
    void OnMouseLeave(kavoda::TALed* sender);
    void OnClick(kavoda::TALed* sender);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void buildImages();
    void showImage(int index);
    void showCurrentState();
    void startBlinking();
    void stopBlinking();
    void setColor(TColor& field, TColor c);

    std::array<QImage, 2> m_images;
    QTimer* m_blinkTimer = nullptr;
    TColor m_trueColor = clLime;
    TColor m_falseColor = clSilver;
    bool m_blink = true;
    TLEDStyle m_ledStyle = LEDSmall;
    int m_interval = 1000;
    bool m_value = false;
    int m_shownImage = kUnlitImage;
    bool m_showHint = false;
    bool m_inTick = false;
    bool m_pressed = false;
    int m_immediateDraws = 0;
};

} // namespace kavoda
