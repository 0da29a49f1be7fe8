#ifndef UPDATELISTS_H
#define UPDATELISTS_H

#include "updater/downloader.h"
#include "updater/listedfile.h"

#include <QObject>
#include <QUrl>

// What the server offers: its stamp, compared with the installed one, then the
// list of its files: files.txt, or, with the operator's key, the signed
// manifest, trusted only once its signature verifies. Fetched one after the
// other into one working file. Ends in exactly one of upToDate(), listed() or
// failed().
class UpdateLists : public QObject
{
    Q_OBJECT
public:
    explicit UpdateLists(QNetworkAccessManager *network, QObject *parent = nullptr);

    void setStallTimeout(int ms) { downloader.setStallTimeout(ms); }
    void start(const QString &workFile);
    // Ends the transfer at once, without a word.
    void abort() { downloader.abort(); }
    // The stamp the update installs: the server's, or, where it is not above
    // the installed one and the content is signed, the installed one.
    qint64 stamp() const { return serverStamp; }

    // The most a server's answer may hold: far more than any real deployment
    // needs (a list line per file is some 60 bytes: a million files fit), and
    // little enough to keep in memory.
    static constexpr qint64 maxStampSize = 4 << 10;
    static constexpr qint64 maxListSize = 64 << 20;
    static constexpr qint64 maxSignatureSize = 512;

signals:
    void logLine(const QString &text);
    void labelChanged(const QString &text);
    void upToDate();
    // The files listed (those the check is to look at), and how many lines the
    // list has (the bar's steps while checking).
    void listed(const ListedFiles &files, int lines);
    void failed(const QString &message);

private:
    void fetch(const QString &path, qint64 maxSize);
    void onDone();
    bool readDownloaded(QByteArray *data);
    void onStamp(const QByteArray &data);
    void onFileList(const QByteArray &data);
    void onSignature(const QByteArray &signature);

    Downloader downloader;
    QString workFile;
    QUrl currentUrl;
    enum class Phase { Stamp, List, Manifest, Signature } phase = Phase::Stamp;
    QByteArray manifestText;
    qint64 serverStamp = 0;
};

#endif // UPDATELISTS_H
