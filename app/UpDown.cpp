// SPDX-License-Identifier: MIT
#include "UpDown.h"

#include <QToolButton>
#include <algorithm>

namespace kavoda {

UpDown::UpDown(QWidget* parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { click(Up); });
    connect(m_down, &QToolButton::clicked, this, [this] { click(Down); });
}

void UpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_min, m_max);
}

void UpDown::setRange(int minimum, int maximum)
{
    m_min = minimum;
    m_max = std::max(minimum, maximum);
    setPosition(m_position);
}

void UpDown::click(Button button)
{
    int next = m_position + (button == Up ? 1 : -1);
    if (next > m_max || next < m_min) {
        if (!m_wrap)
            return;
        next = next > m_max ? m_min : m_max;
    }
    m_position = next;
    emit Click(this, button);
}

void UpDown::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

} // namespace kavoda
