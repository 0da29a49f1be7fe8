#include "updater/downloader.h"

#include "app/clientversion.h"
#include "updater/checksum.h"

#include <QDebug>
#include <QFileInfo>
#include <QNetworkRequest>
#include <QTimer>

#include <utility>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif


Downloader::Downloader(QNetworkAccessManager *shared)
    : ownNetwork(shared ? nullptr : new QNetworkAccessManager)
    , network(shared ? shared : ownNetwork.get())
{
    qDebug() << "Downloader ctor";
    stallTimer.setSingleShot(true);
    connect(&stallTimer, &QTimer::timeout, this, &Downloader::onStalled);
}

Downloader::~Downloader()
{
    abort(); // a shared manager outlives us: our reply goes now
}

// A link at the target's name, or a file another user put there, is removed,
// never followed or written into, and the file created anew, exclusively.
// An earlier file of ours is opened as it is: emptying it (which can take
// the file system a while) waits until the request is on its way.
bool Downloader::openTarget(const QString &fileName)
{
    file.setFileName(fileName);
    const QFileInfo info(fileName);
    bool foreign = info.isSymLink();
#ifdef Q_OS_UNIX
    foreign = foreign || (info.exists() && info.ownerId() != ::geteuid());
#endif
    if (foreign && !file.remove())
        return false;
    if (!foreign && info.exists())
        return file.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
}

void Downloader::download(const QUrl &url, const QString &fileName, Limit limit)
{
    this->limit = limit;
    qDebug() << "download" << url;
    if (file.isOpen())
        file.close();
    writeError.clear();
    if (!openTarget(fileName)) {
        emit saveFailed(file.errorString());
        return;
    }
    this->url = url;
    offset = 0;
    total = -1;
    validator.clear();
    takesRanges = false;
    retriesLeft = retries;
    stalled = false;
    oversized = false;
    answerStatus = 0;
    sendRequest();
    if (!startOver() && reply) // nothing of the earlier file stays
        reply->abort();
}

void Downloader::abort()
{
    aborted = true;
    stallTimer.stop();
    if (QNetworkReply *current = std::exchange(reply, nullptr)) {
        current->disconnect(this);
        current->abort();
        current->deleteLater();
    }
    file.close();
}

void Downloader::sendRequest()
{
    if (aborted)
        return;
    QNetworkRequest request(url);
    // Redirects are not followed: whatever the server answers is the answer.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(ClientVersion::product));
    if (offset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + '-');
        // The rest of the same file, or else the whole of the new one.
        request.setRawHeader("If-Range", validator);
        // A range of a compressed answer would not continue the bytes we have.
        request.setRawHeader("Accept-Encoding", "identity");
    }
    reply = network->get(request);
    // Without a bound Qt's HTTP thread reads ahead of us and can hold a whole
    // large body in memory.
    reply->setReadBufferSize(readBufferSize);
    connect(reply, &QNetworkReply::errorOccurred, this, &Downloader::downloadError);
    QNetworkReply *sent = reply;
    connect(reply, &QNetworkReply::finished, this, [this, sent] { replyFinished(sent); });
    // A range answer is looked at before its body is written, and any answer
    // when its size is limited; the first answer otherwise only when it
    // breaks (most never do).
    if (offset > 0 || limit.bytes >= 0)
        connect(reply, &QNetworkReply::metaDataChanged, this, &Downloader::onHeaders);
    oversized = false;
    connect(reply, &QNetworkReply::readyRead, this, &Downloader::saveFile);
    stalled = false;
    sinceData.start();
    sinceProgress.invalidate(); // the first block of an answer is told at once
    stallTimer.start(stallTimeoutMs);
}

// Data arriving only notes the time (cheaper than restarting the timer for
// every block); the timer, when it fires, looks how long ago that was.
void Downloader::onStalled()
{
    if (!reply)
        return;
    if (sinceData.elapsed() < stallTimeoutMs) {
        stallTimer.start(int(stallTimeoutMs - sinceData.elapsed()));
        return;
    }
    qDebug() << "download stalled: " << url;
    stalled = true;
    reply->abort(); // finished as a break below
}

// "bytes <first>-<last>/<length>" must be the rest of the very bytes we have,
// up to the file's last byte; the file's length is then known.
bool Downloader::takeRange(QNetworkReply *answer)
{
    const QByteArray range = answer->rawHeader("Content-Range");
    if (!range.startsWith("bytes "))
        return false;
    const qsizetype dash = range.indexOf('-'), slash = range.indexOf('/');
    if (dash < 0 || slash < dash)
        return false;
    bool ok1 = false, ok2 = false, ok3 = false;
    const qint64 first = range.mid(6, dash - 6).trimmed().toLongLong(&ok1);
    const qint64 last = range.mid(dash + 1, slash - dash - 1).trimmed().toLongLong(&ok2);
    const qint64 length = range.mid(slash + 1).trimmed().toLongLong(&ok3);
    if (!(ok1 && ok2 && ok3 && first == offset && last == length - 1 && (total < 0 || length == total)))
        return false;
    total = length;
    return true;
}

// The whole file's length as the answer gives it, or -1 where it says nothing
// (or sends it compressed: the length is then the compressed one's).
qint64 Downloader::expectedSize(QNetworkReply *answer) const
{
    const QByteArray encoding = answer->rawHeader("Content-Encoding");
    if (!encoding.isEmpty() && encoding != "identity")
        return -1;
    const int status = answer->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 206)
        return total; // as its range said, checked when it came
    if (status != 200)
        return -1;
    const QVariant length = answer->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() ? length.toLongLong() : -1;
}

// Empties the file for the whole body. False when it cannot be emptied.
bool Downloader::startOver()
{
    offset = 0;
    if (checksum)
        checksum->reset();
    if (file.resize(0) && file.seek(0))
        return true;
    writeError = file.errorString();
    return false;
}

// Stops the transfer at once when it would pass the limit.
bool Downloader::exceedsLimit(qint64 bytes)
{
    if (limit.bytes < 0 || bytes <= limit.bytes)
        return false;
    qDebug() << "download larger than allowed: " << url << bytes << ">" << limit.bytes;
    oversized = true;
    reply->abort();
    return true;
}

void Downloader::onHeaders()
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // What the answer says it will send is looked at before any of it is written.
    if (status == 206 || status == 200) {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && exceedsLimit((status == 206 ? offset : 0) + length.toLongLong()))
            return;
    }
    if (offset == 0)
        return;
    if (status == 206) {
        if (takeRange(reply))
            return;
        qDebug() << "download range does not fit: " << reply->rawHeader("Content-Range");
        // Emptied first: the abort finishes the reply at once, as a break
        // tried again from the start.
        startOver();
        reply->abort();
        return;
    }
    if (status != 200)
        return;
    // The whole file (a server that takes no ranges, or a file that changed):
    // it is written from the start.
    if (!startOver()) {
        reply->abort();
        return;
    }
    learnResumption(reply);
}

// What a whole-file answer tells of resuming it: its length, whether the
// server takes ranges, and what names this version of the file.
void Downloader::learnResumption(QNetworkReply *answer)
{
    if (answer->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
        return;
    const QVariant length = answer->header(QNetworkRequest::ContentLengthHeader);
    total = length.isValid() ? length.toLongLong() : -1;
    takesRanges = answer->rawHeader("Accept-Ranges").contains("bytes") && answer->rawHeader("Content-Encoding").isEmpty();
    const QByteArray etag = answer->rawHeader("ETag");
    validator = !etag.isEmpty() && !etag.startsWith("W/") ? etag : answer->rawHeader("Last-Modified");
}

void Downloader::saveFile()
{
    sinceData.start();
    const QByteArray data = reply->readAll();
    if (!writeError.isEmpty() || oversized || exceedsLimit(file.pos() + data.size()))
        return;
    // A write may take only part of the block; the next one then tells why.
    for (qint64 written = 0; written < data.size();) {
        const qint64 count = file.write(data.constData() + written, data.size() - written);
        if (count <= 0) {
            // A failed write (a full disk, say) must not end as a finished
            // download: the caller would install a truncated file.
            writeError = file.errorString();
            reply->abort();
            return;
        }
        written += count;
    }
    if (checksum)
        checksum->add(data);
    reportProgress();
}

// Told from the blocks as they are written, counted over the whole file (what
// came before a resumed part included). The reply's own progress signal
// would cost a second message from the network thread for every block.
void Downloader::reportProgress()
{
    if (sinceProgress.isValid() && sinceProgress.elapsed() < progressIntervalMs)
        return;
    sinceProgress.start();
    const qint64 received = file.pos();
    const qint64 length = expectedSize(reply);
    qDebug() << " Download progress: " << received << "/" << length;
    emit downloadProgress(received, length);
}

void Downloader::downloadError(QNetworkReply::NetworkError code)
{
    qDebug() << "downloadError: " << int(code);
}

// An HTTP answer that is not a success (a redirect, which is not followed)
// carries no file, whatever its body.
QString Downloader::refusal(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || (status.toInt() >= 200 && status.toInt() < 300))
        return QString();
    const QString code = status.toString();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isValid())
        return tr("The server answered %1 %2, sending to %3").arg(code, reason, reply->url().resolved(target).toString());
    return tr("The server answered %1 %2").arg(code, reason);
}

bool Downloader::isBreak(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::RemoteHostClosedError: // closed, reset, or the body cut short
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::OperationCanceledError: // a range that did not fit, dropped here
        return true;
    default:
        return false;
    }
}

void Downloader::replyFinished(QNetworkReply *finished)
{
    // What the last readyRead left behind (a reply may finish with data still buffered).
    if (finished == reply && finished->bytesAvailable() > 0)
        saveFile();
    stallTimer.stop();
    const qint64 written = file.pos();
    qDebug() << "replyFinished" << finished->url() << " total bytes=" << written;
    qDebug() << "redir: " << finished->attribute(QNetworkRequest::RedirectionTargetAttribute);

    // An answer that ends before its announced length is broken, whether or
    // not the network layer says so (it may resend a request by itself and
    // then report no error).
    answerStatus = finished->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An error page is no file: it fails by its status, whatever its size
    // (the limit only stopped reading it).
    const QString refused = refusal(finished);
    const bool errorPage = !refused.isEmpty();
    const bool errorPageCut = errorPage && finished->error() == QNetworkReply::OperationCanceledError;
    if (errorPage)
        oversized = false;
    const bool succeeded = finished->error() == QNetworkReply::NoError && !errorPage;
    const qint64 expected = succeeded ? expectedSize(finished) : -1;
    cutShort = expected >= 0 && written != expected;
    // An answer larger than the limit is broken only where a known size was passed.
    const bool broken = oversized ? limit.broken : !errorPageCut && (stalled || cutShort || isBreak(finished->error()));
    if (writeError.isEmpty() && broken && retriesLeft > 0) {
        --retriesLeft;
        if (offset == 0)
            learnResumption(finished);
        // On from the byte reached where the server takes ranges and named
        // this version of the file; else from the start.
        const bool resumable = !oversized && takesRanges && !validator.isEmpty() && written > 0 && (total < 0 || written < total);
        if (resumable || startOver()) {
            offset = resumable ? written : 0;
            qDebug() << "download broken, trying again from " << offset << ": "
                     << (oversized ? QStringLiteral("too large") : stalled ? QStringLiteral("stalled")
                         : cutShort ? QStringLiteral("cut short") : finished->errorString());
            finished->deleteLater();
            reply = nullptr;
            QTimer::singleShot(retryPauseMs, this, &Downloader::sendRequest);
            return;
        }
    }
    file.close();

    if (!writeError.isEmpty()) {
        qDebug() << "save failed: " << writeError;
        emit saveFailed(writeError);
    } else if (oversized) {
        qDebug() << "download failed: larger than " << limit.bytes << " bytes";
        emit tooLarge(limit.bytes);
    } else if (stalled) {
        const QString error = tr("Nothing received for %1 s").arg(stallTimeoutMs / 1000.0);
        qDebug() << "download failed: " << error;
        emit downloadFailed(error);
    } else if (cutShort) {
        const QString error = tr("The answer ended after %1 of %2 bytes").arg(written).arg(expected);
        qDebug() << "download failed: " << error;
        emit downloadFailed(error);
    } else if (errorPageCut) {
        qDebug() << "download failed: " << refused;
        emit downloadFailed(refused);
    } else if (finished->error() != QNetworkReply::NoError) {
        qDebug() << "download failed: " << finished->errorString();
        emit downloadFailed(finished->errorString());
    } else if (errorPage) {
        qDebug() << "download failed: " << refused;
        emit downloadFailed(refused);
    } else {
        emit downloadDone();
    }
    if (finished == reply)
        reply = nullptr;
    finished->deleteLater();
}
