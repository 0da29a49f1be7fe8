// One large answer through the movies' HTTP bridge (page -> client -> nginx
// and back), against the same file fetched by the same page directly: the
// time the page waits for the whole answer, and how far the client's own
// process (this one: the renderers are processes of their own) grows while it
// comes, each the median of five rounds taken in turns.
#include "benchutil.h"
#include "nginxserver.h"
#include "testenv.h"
#include "web/mywebview.h"
#include "webtest.h"

#include <QApplication>
#include <QFile>

#include <algorithm>
#include <cstdio>

namespace {
const char *const script = R"js(
new Promise(resolve => {
    const x = new XMLHttpRequest();
    const start = performance.now();
    x.open('GET', '%1');
    x.responseType = 'arraybuffer';
    x.onload = () => resolve((performance.now() - start) + ' ' + x.response.byteLength);
    x.onerror = () => resolve('failed');
    x.send();
})
)js";

struct Figures {
    double ms = 0;
    double grownMiB = 0;
};

Figures measure(MyWebView *view, const QString &url, qint64 size)
{
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly))
        reset.write("5"); // the peak from here on
    reset.close();
    const double before = rssMiB();
    const QString result = WebTest::awaitJs(view, QString::fromLatin1(script).arg(url), 300000);
    const QStringList parts = result.split(QLatin1Char(' '));
    if (parts.size() != 2 || parts.at(1).toLongLong() != size) {
        std::fprintf(stderr, "measurement failed: %s\n", qPrintable(result));
        std::exit(1);
    }
    return {parts.at(0).toDouble(), peakRssMiB() - before};
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::init("bench_movieproxy");
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const qint64 size = qint64(200) << 20;
    const QString site = TestEnv::root() + QStringLiteral("/site");
    QDir().mkpath(site);
    QFile big(site + QStringLiteral("/big.bin"));
    if (!big.open(QIODevice::WriteOnly) || !big.resize(size))
        return 1;
    big.close();
    // The page's direct fetch crosses origins (a file: page, an http: server).
    NginxServer web(site, QStringLiteral("add_header Access-Control-Allow-Origin *;"));
    if (!web.start())
        return 1;
    TestEnv::writeFile(QStringLiteral("content/page.html"), "<html><head><title>Page</title></head></html>");
    MyWebView view;
    if (!WebTest::load(&view, QUrl::fromLocalFile(QDir::currentPath() + QStringLiteral("/content/page.html"))))
        return 1;
    const QString direct = web.rootUrl() + QStringLiteral("big.bin");
    const QString bridged = QStringLiteral("tarvenholm:/net?method=GET&url=")
        + QString::fromLatin1(QUrl::toPercentEncoding(direct));

    measure(&view, bridged, size); // warm both paths up
    measure(&view, direct, size);
    QList<double> bridgeMs, directMs, bridgeMiB, directMiB;
    for (int round = 0; round < 5; ++round) {
        const Figures b = measure(&view, bridged, size);
        const Figures d = measure(&view, direct, size);
        bridgeMs << b.ms;
        directMs << d.ms;
        bridgeMiB << b.grownMiB;
        directMiB << d.grownMiB;
    }
    const double bt = median(bridgeMs), dt = median(directMs);
    std::printf("answer of %lld MiB, median of 5 rounds\n", size >> 20);
    std::printf("  through the bridge: %8.0f ms, client process grew by %6.1f MiB\n", bt, median(bridgeMiB));
    std::printf("  fetched directly:   %8.0f ms, client process grew by %6.1f MiB\n", dt, median(directMiB));
    std::printf("  time ratio bridge/direct: %.2f\n", bt / dt);
    return 0;
}
