#include "webtest.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

QVariant WebTest::runJs(QWebEngineView *view, const QString &script, int timeoutMs)
{
    QVariant result;
    bool done = false;
    QEventLoop loop;
    view->page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
        loop.quit();
    });
    if (!done) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

QString WebTest::awaitJs(QWebEngineView *view, const QString &promise, int timeoutMs)
{
    runJs(view, QStringLiteral("window.__testResult = undefined;"
                               "Promise.resolve().then(() => %1).then(v => { window.__testResult = String(v); },"
                               " e => { window.__testResult = 'rejected: ' + e; });").arg(promise));
    QElapsedTimer timer;
    timer.start();
    QVariant result;
    // Waited for in an event loop, not qWait(): that sleeps between its rounds,
    // and what the page talks to may be in this thread (the socket bridge).
    while (!(result = runJs(view, QStringLiteral("window.__testResult"))).isValid() && timer.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result.toString();
}

bool WebTest::load(QWebEngineView *view, const QUrl &url, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    // A busy engine may still be settling a navigation the page refused
    // just before, and stop this load for it: a load stopped so is started
    // once more. A load that fails is a failure.
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Only the end of the load this call starts counts: the page's previous
        // load may still report its end after load() has been called.
        bool started = false;
        bool finished = false;
        QWebEngineLoadingInfo::LoadStatus status = QWebEngineLoadingInfo::LoadFailedStatus;
        const QMetaObject::Connection watch = QObject::connect(
            view->page(), &QWebEnginePage::loadingChanged, view, [&](const QWebEngineLoadingInfo &info) {
                // The engine may report no new start when the page was still
                // loading: the end of a load of this very URL counts too. A busy
                // engine may report the end of a navigation the page refused
                // before (another URL) after this load started: only a success
                // counts from another URL (a redirect's end).
                const bool ok = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus;
                if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
                    started = started || info.url() == url;
                } else if ((info.url() == url || (started && ok)) && !finished) {
                    finished = true;
                    status = info.status();
                }
            });
        view->load(url);
        while (!finished && timer.elapsed() < timeoutMs)
            QTest::qWait(20);
        QObject::disconnect(watch);
        if (finished && status == QWebEngineLoadingInfo::LoadSucceededStatus)
            return true;
        if (!finished || status != QWebEngineLoadingInfo::LoadStoppedStatus)
            return false;
    }
    return false;
}

bool WebTest::click(QWebEngineView *view, const QString &selector)
{
    // The element's centre, once the page has laid it out where the view shows
    // it (a view just shown or resized may still be placing it); the element
    // then notes that the press reached it.
    const QString where = QStringLiteral("(function() {"
                                         " var e = document.querySelector('%1');"
                                         " if (!e) return [];"
                                         " e.scrollIntoView({block: 'nearest'});"
                                         " var r = e.getBoundingClientRect();"
                                         " var x = r.left + r.width / 2, y = r.top + r.height / 2;"
                                         " var hit = document.elementFromPoint(x, y);"
                                         " if (!hit || !(hit === e || e.contains(hit))) return [];"
                                         " window.__testPressed = false;"
                                         " e.addEventListener('mousedown', function () { window.__testPressed = true; },"
                                         "                   {once: true, capture: true});"
                                         " return [x, y, window.innerWidth, window.innerHeight];"
                                         "})()").arg(selector);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        const QVariantList found = runJs(view, where).toList();
        QWidget *input = view->focusProxy();
        if (found.size() == 4 && input && input->isVisible() && input->width() == found.at(2).toInt()
            && input->height() == found.at(3).toInt()) {
            const QPoint at(found.at(0).toInt(), found.at(1).toInt());
            QTest::mouseMove(input, at);
            QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier, at);
            // A busy engine may drop input that comes before the page is ready
            // for it: the click is made again until the page has seen the press
            // (or has gone, the click having taken it elsewhere).
            QElapsedTimer wait;
            wait.start();
            while (wait.elapsed() < 1500) {
                const QVariant pressed = runJs(view, QStringLiteral("window.__testPressed"));
                if (pressed.typeId() != QMetaType::Bool || pressed.toBool())
                    return true;
                QTest::qWait(50);
            }
            continue;
        }
        QTest::qWait(50);
    }
    return false;
}

bool WebTest::waitForTitle(QWebEngineView *view, const QString &title, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (view->title() != title) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}
