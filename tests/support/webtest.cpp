#include "webtest.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
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
    while (!(result = runJs(view, QStringLiteral("window.__testResult"))).isValid() && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return result.toString();
}

bool WebTest::load(QWebEngineView *view, const QUrl &url, int timeoutMs)
{
    QSignalSpy finished(view, &QWebEngineView::loadFinished);
    view->load(url);
    return finished.wait(timeoutMs);
}

bool WebTest::click(QWebEngineView *view, const QString &selector)
{
    const QVariantList centre = runJs(view, QStringLiteral("(function() {"
                                                           " var e = document.querySelector('%1');"
                                                           " if (!e) return [];"
                                                           " e.scrollIntoView();"
                                                           " var r = e.getBoundingClientRect();"
                                                           " return [r.left + r.width / 2, r.top + r.height / 2];"
                                                           "})()").arg(selector))
                                        .toList();
    if (centre.size() != 2 || !view->focusProxy())
        return false;
    const QPoint at(centre.at(0).toInt(), centre.at(1).toInt());
    QTest::mouseMove(view->focusProxy(), at);
    QTest::mouseClick(view->focusProxy(), Qt::LeftButton, Qt::NoModifier, at);
    return true;
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
