#include "window/windowstate.h"

#include "app/appconfig.h"

#include <QDebug>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace {
const char key[] = "window";
} // namespace

bool WindowState::restore(QWidget *window)
{
    const QByteArray kept = QSettings(AppConfig::fileName(), QSettings::IniFormat).value(QLatin1String(key)).toByteArray();
    if (kept.isEmpty() || !window->restoreGeometry(kept))
        return false;
    if (window->isFullScreen())
        window->setWindowState(window->windowState() & ~Qt::WindowFullScreen);
    // Qt keeps a window that lay on a screen no longer there only partly in
    // view: all of it goes onto the screen nearest to where it was.
    if (!window->isMaximized()) {
        const QRect was = window->geometry();
        const QScreen *screen = QGuiApplication::screenAt(was.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        const QRect available = screen ? screen->availableGeometry() : QRect();
        if (available.isValid() && !available.contains(was)) {
            QRect inside(was.topLeft(), was.size().boundedTo(available.size()));
            inside.moveLeft(qBound(available.left(), inside.left(), available.right() - inside.width() + 1));
            inside.moveTop(qBound(available.top(), inside.top(), available.bottom() - inside.height() + 1));
            window->setGeometry(inside);
        }
    }
    return true;
}

void WindowState::save(const QWidget *window)
{
    QSettings settings(AppConfig::fileName(), QSettings::IniFormat);
    settings.setValue(QLatin1String(key), window->saveGeometry());
}

// A first window, or one the configured size made, is fitted onto the default
// screen's area without task bars and docks, and centred there.
void WindowState::fitOnScreen(QWidget *window)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    qDebug() << window->geometry() << window->frameGeometry();
    // A window put back where the player left it (or placed by the program) stays there.
    if (window->testAttribute(Qt::WA_Moved))
        return;
    if (available.width() < window->frameGeometry().width())
        window->resize(available.width() - (window->frameGeometry().width() - window->width()), window->height());
    if (available.height() < window->frameGeometry().height()) {
        const int frame = window->frameGeometry().height();
        window->resize(window->width(), available.height() - (frame - available.height()) / 2);
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(available.center());
    window->move(frame.topLeft());
}
