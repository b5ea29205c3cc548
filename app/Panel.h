// SPDX-License-Identifier: MIT
// A panel: a filled rectangle with an outer bevel of some width and a
// centred caption, the frame the main window's status and credits sit in.
// Its font colour is the palette's WindowText.
#pragma once

#include "Colors.h"

#include <QFont>
#include <QString>
#include <QWidget>

namespace kavoda {

class Panel : public QWidget {
    Q_OBJECT
public:
    enum Bevel { BevelNone, BevelLowered, BevelRaised };

    explicit Panel(QWidget* parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);
    TColor color() const { return m_color; }
    void setColor(TColor color);
    Bevel bevelOuter() const { return m_bevel; }
    void setBevelOuter(Bevel bevel);
    int bevelWidth() const { return m_bevelWidth; }
    void setBevelWidth(int width);

    // The area inside the bevel.
    QRect innerRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
    TColor m_color = clBtnFace;
    Bevel m_bevel = BevelRaised;
    int m_bevelWidth = 1;
};

// The font, made smaller (down to kSmallestPixels) until text fits in width.
inline constexpr int kSmallestPixels = 7;
QFont fittedFont(QFont font, const QString& text, int width);

} // namespace kavoda
