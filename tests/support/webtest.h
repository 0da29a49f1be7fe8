#ifndef WEBTEST_H
#define WEBTEST_H

#include <QString>
#include <QUrl>
#include <QVariant>

class QWebEngineView;

// Driving real web views from a test: scripts run in the page and waited for,
// loads waited for, and clicks made with the mouse at an element's place.
namespace WebTest {
QVariant runJs(QWebEngineView *view, const QString &script, int timeoutMs = 10000);
// The text a script's promise settles with ("rejected: <reason>" when it fails).
QString awaitJs(QWebEngineView *view, const QString &promise, int timeoutMs = 10000);
bool load(QWebEngineView *view, const QUrl &url, int timeoutMs = 20000);
// A real mouse click (press and release) at the centre of the first element
// the CSS selector finds; false when there is no such element.
bool click(QWebEngineView *view, const QString &selector);
// Waits until the view's page has the title.
bool waitForTitle(QWebEngineView *view, const QString &title, int timeoutMs = 20000);
}

#endif // WEBTEST_H
