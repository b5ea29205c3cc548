// SPDX-License-Identifier: MIT
#include "FormStyle.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
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

} // namespace

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
        if (QStyle* windows = QStyleFactory::create(QStringLiteral("Windows")))
            QApplication::setStyle(windows);
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
