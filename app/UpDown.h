// SPDX-License-Identifier: MIT
// An up-down arrow pair on its own (no edit field): a position within a
// range, moved one step per arrow click. A click that would leave the range
// changes nothing and raises no notification.
#pragma once

#include <QWidget>

class QToolButton;

namespace kavoda {

class UpDown : public QWidget {
    Q_OBJECT
public:
    enum Button { Up, Down };

    explicit UpDown(QWidget* parent = nullptr);

    int position() const { return m_position; }
    void setPosition(int position); // clamped into the range; no notification
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    void setRange(int minimum, int maximum);
    bool wrap() const { return m_wrap; }
    void setWrap(bool wrap) { m_wrap = wrap; }

    // Acts as a click on one arrow.
    void click(Button button);

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

signals:
    // After the position has changed by a click.
    void Click(kavoda::UpDown* sender, kavoda::UpDown::Button button);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
    int m_position = 0;
    int m_min = 0;
    int m_max = 100;
    bool m_wrap = false;
};

} // namespace kavoda
