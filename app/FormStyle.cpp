// SPDX-License-Identifier: MIT
#include "FormStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOption>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace kavoda {

namespace {

// Sets the window's size once more when it first shows in its normal state
// with its frame known, then goes.
class OuterSizeKeeper : public QObject {
public:
    OuterSizeKeeper(QWidget* window, QSize outer)
        : QObject(window)
        , m_window(window)
        , m_outer(outer)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window
            && (event->type() == QEvent::Show || event->type() == QEvent::WindowStateChange
                || event->type() == QEvent::Move)
            && m_window->isVisible()
            && !(m_window->windowState()
                 & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
            const QWindow* handle = m_window->windowHandle();
            const QMargins frame = handle ? handle->frameMargins() : QMargins();
            // No frame yet: the window manager has not framed the window.
            // Platforms without frames never get one; they keep the size.
            if (frame.isNull() && ++m_waited < kMaxWaits)
                return false;
            m_window->resize(clientSizeFor(m_outer, frame));
            m_window->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    static constexpr int kMaxWaits = 4;
    QWidget* m_window;
    QSize m_outer;
    int m_waited = 0;
};

class ClassicStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        // Only the default button keeps its bevel inside the black frame.
        if (metric == PM_ButtonDefaultIndicator) {
            const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
            return button && (button->features & QStyleOptionButton::DefaultButton) ? 1 : 0;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_FrameDefaultButton) {
            const QRect r = option->rect;
            const QColor frame = option->palette.shadow().color();
            painter->fillRect(QRect(r.left(), r.top(), r.width(), 1), frame);
            painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), frame);
            painter->fillRect(QRect(r.left(), r.top(), 1, r.height()), frame);
            painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), frame);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

// Centres its window at every showing; the first spontaneous move or
// expose after it checks the real frame once more.
class ScreenCentring final : public QObject {
public:
    explicit ScreenCentring(QWidget* window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        QWindow* handle = m_window->windowHandle();
        if (watched == m_window && event->type() == QEvent::Show) {
            centre();
            m_framed = false;
            // The frame shows first in the native window's own events.
            if (handle && handle != m_handle) {
                m_handle = handle;
                handle->installEventFilter(this);
            }
        } else if (!m_framed && handle && watched == handle && m_window->isVisible()
                   && (event->type() == QEvent::Expose || event->type() == QEvent::Move)
                   && !handle->frameMargins().isNull()) {
            m_framed = true;
            centre();
        }
        return false;
    }

private:
    void centre()
    {
        const QScreen* screen = m_window->screen() ? m_window->screen()
                                                   : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QWindow* handle = m_window->windowHandle();
        const QMargins frame = handle ? handle->frameMargins() : QMargins();
        const QSize outer = m_window->size().grownBy(frame);
        // Placed by its client rectangle: a top-level's move() counts on a
        // frame size that Qt may not have learnt yet.
        const QRect client(centredFramePosition(screen->availableGeometry(), outer)
                               + QPoint(frame.left(), frame.top()),
                           m_window->size());
        if (m_window->geometry() != client)
            m_window->setGeometry(client);
    }

    QWidget* m_window;
    QPointer<QWindow> m_handle;
    bool m_framed = false;
};

} // namespace

QStyle* createClassicStyle()
{
    QStyle* windows = QStyleFactory::create(QStringLiteral("Windows"));
    return windows ? new ClassicStyle(windows) : nullptr;
}

QPoint centredFramePosition(const QRect& area, QSize outer)
{
    return QPoint(area.x() + (area.width() - outer.width()) / 2,
                  area.y() + (area.height() - outer.height()) / 2);
}

void centreOnScreen(QWidget* window)
{
    new ScreenCentring(window);
}

QStringList windowFontFiles()
{
    const QString relative = QStringLiteral("wine/fonts/ms_sans_serif.ttf");
    QStringList files =
        QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, relative);
    const QString debian = QStringLiteral("/usr/share/") + relative;
    if (!files.contains(debian))
        files << debian;
    return files;
}

QString loadApplicationFont(const QString& file)
{
    if (!QFileInfo(file).isFile())
        return {};
    const int id = QFontDatabase::addApplicationFont(file);
    if (id < 0)
        return {};
    return QFontDatabase::applicationFontFamilies(id).value(0);
}

QString windowFontFamily()
{
    static const QString family = [] {
        for (const QString& file : windowFontFiles()) {
            const QString loaded = loadApplicationFont(file);
            if (!loaded.isEmpty())
                return loaded;
        }
        return QString();
    }();
    return family;
}

QFont sansFont(int pixelHeight)
{
    const QString designed = pixelHeight == kWindowFontHeight ? windowFontFamily() : QString();
    QFont font(designed.isEmpty() ? QStringLiteral("Sans Serif") : designed);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    return font;
}

bool needsOverstrikeBold(const QFont& font)
{
    if (!font.bold())
        return false;
    QFont regular = font;
    regular.setBold(false);
    const QString sample = QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QFontMetrics(font).horizontalAdvance(sample)
        == QFontMetrics(regular).horizontalAdvance(sample);
}

QIcon programIcon()
{
    QIcon icon(QStringLiteral(":/app/kavoda.svg"));
    icon.addFile(QStringLiteral(":/app/kavoda.png"), QSize(32, 32));
    return icon;
}

QPalette classicPalette()
{
    const QColor face(192, 192, 192);
    const QColor shadow(128, 128, 128);
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    const QColor grayText(128, 128, 128);

    QPalette p(black, face, white, shadow, QColor(160, 160, 160), black, white, white, face);
    p.setColor(QPalette::Midlight, QColor(223, 223, 223));
    p.setColor(QPalette::Shadow, black);
    p.setColor(QPalette::ButtonText, black);
    p.setColor(QPalette::Highlight, QColor(0, 0, 128));
    p.setColor(QPalette::HighlightedText, white);
    p.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    p.setColor(QPalette::ToolTipText, black);
    p.setColor(QPalette::Link, QColor(0, 0, 255));
    p.setColor(QPalette::LinkVisited, QColor(128, 0, 128));
    p.setColor(QPalette::AlternateBase, face);
    p.setColor(QPalette::PlaceholderText, grayText);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, grayText);
    p.setColor(QPalette::Disabled, QPalette::Base, face);
    p.setColor(QPalette::Disabled, QPalette::Highlight, shadow);
    return p;
}

void applyClassicLook(bool keepStyle)
{
    if (!keepStyle) {
        if (QStyle* classic = createClassicStyle())
            QApplication::setStyle(classic);
    }
    QApplication::setPalette(classicPalette());
    QApplication::setFont(sansFont());
}

void setFontColor(QWidget* control, TColor color)
{
    QPalette p = control->palette();
    p.setColor(QPalette::WindowText, toQColor(color));
    control->setPalette(p);
}

void setTextColors(QWidget* control, TColor background, TColor text)
{
    QPalette p = control->palette();
    p.setColor(QPalette::Base, toQColor(background));
    p.setColor(QPalette::Text, toQColor(text));
    control->setPalette(p);
}

QSize clientSizeFor(QSize outer, const QMargins& frame)
{
    return QSize(std::max(outer.width() - frame.left() - frame.right(), 0),
                 std::max(outer.height() - frame.top() - frame.bottom(), 0));
}

void setOuterSize(QWidget* window, QSize outer)
{
    window->resize(outer);
    new OuterSizeKeeper(window, outer);
}

} // namespace kavoda
