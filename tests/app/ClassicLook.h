// SPDX-License-Identifier: MIT
// Puts the program's classic look (style, palette, window font) on the test
// application for one test and takes it away again, so that windows are
// measured as the program shows them.
#pragma once

#include "FormStyle.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace kavoda {

class ClassicLookScope {
public:
    ClassicLookScope()
        : m_style(QApplication::style()->name())
        , m_palette(QApplication::palette())
        , m_font(QApplication::font())
    {
        applyClassicLook();
    }
    ~ClassicLookScope()
    {
        if (QStyle* style = QStyleFactory::create(m_style))
            QApplication::setStyle(style);
        QApplication::setPalette(m_palette);
        QApplication::setFont(m_font);
    }
    ClassicLookScope(const ClassicLookScope&) = delete;
    ClassicLookScope& operator=(const ClassicLookScope&) = delete;

private:
    QString m_style;
    QPalette m_palette;
    QFont m_font;
};

} // namespace kavoda
