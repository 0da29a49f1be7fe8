#ifndef CLIENTSCHEME_H
#define CLIENTSCHEME_H

#include <QWebEngineUrlSchemeHandler>

class MovieProxy;

// The client's own scheme, "tarvenholm:". It serves pages two things local
// files cannot give them:
// - "tarvenholm:/ruffle/<file>": Ruffle, the Flash Player emulator movies play
//   with, from the folder "ruffle" beside the executable, to any page (web
//   pages may not load local files) and nothing but Ruffle's own files;
// - "tarvenholm:/net?url=...": an HTTP request made for a movie, which the
//   engine's cross-origin rules would refuse it: for the content folder's
//   movies (the Flash Player let a movie in its trusted folder reach the
//   game's servers), and for a web page's where the server's policy file
//   grants the page (MovieProxy).
class ClientScheme : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT
public:
    explicit ClientScheme(QObject *parent = nullptr);

    void requestStarted(QWebEngineUrlRequestJob *job) override;

    static const char *const name;
    // Ruffle's files below "<name>:<rufflePath>", movies' requests at "<name>:<netPath>".
    static const char *const rufflePath;
    static const char *const netPath;
    // Where the page scripts keep the browser's own WebSocket for Ruffle's
    // sockets; the Ruffle the client serves opens them with it.
    static const char *const socketGlobal;
    // Before the application object exists.
    static void registerScheme();
    static QString ruffleDirectory();

private:
    void serveRuffle(QWebEngineUrlRequestJob *job, const QString &fileName);
    static QByteArray withOwnWebSocket(const QByteArray &core);

    MovieProxy *proxy;
};

#endif // CLIENTSCHEME_H
