// Saves a jar's cookies over and over, as tabs closing one after another do,
// until it is killed. Run by the cookie store's kill test.
#include "web/cookiejar.h"

#include <QCoreApplication>
#include <QNetworkCookie>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    for (int round = 0;; ++round) {
        CookieJar jar;
        QList<QNetworkCookie> cookies;
        for (int i = 0; i < 40; ++i) {
            QNetworkCookie cookie(QByteArray("c") + QByteArray::number(i),
                                  QByteArray::number(round) + QByteArray(200, 'v'));
            cookie.setPath("/");
            cookies << cookie;
        }
        jar.setCookiesFromUrl(cookies, QUrl("http://www.example.org/"));
    } // each jar saves as it goes
}
