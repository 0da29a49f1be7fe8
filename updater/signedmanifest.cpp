#include "updater/signedmanifest.h"

#include "updater/manifest.h"

#include <QSet>

static const QByteArray header = QByteArrayLiteral("tarvenholm-manifest 1");

static bool isHex64(const QByteArray &text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

static bool isDecimal(const QByteArray &text)
{
    // Written as the tool writes numbers: no sign, no leading zero.
    if (text.isEmpty() || text.size() > 18 || (text.size() > 1 && text.at(0) == '0'))
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool SignedManifest::parse(const QByteArray &text, SignedManifest *manifest)
{
    if (!text.endsWith('\n'))
        return false;
    const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
    if (lines.size() < 2 || lines.at(0) != header || !lines.at(1).startsWith("stamp "))
        return false;
    SignedManifest result;
    const QByteArray stamp = lines.at(1).mid(6);
    bool ok = false;
    result.stamp = stamp.toLongLong(&ok);
    if (!ok || stamp != QByteArray::number(result.stamp))
        return false;
    QSet<QString> seen;
    for (int i = 2; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype first = line.indexOf(' ');
        const qsizetype second = first < 0 ? -1 : line.indexOf(' ', first + 1);
        if (second < 0)
            return false;
        File file;
        file.sha256 = line.left(first);
        const QByteArray size = line.mid(first + 1, second - first - 1);
        file.name = QString::fromLatin1(line.mid(second + 1));
        if (!isHex64(file.sha256) || !isDecimal(size) || !isSafeContentName(file.name) || seen.contains(file.name))
            return false;
        file.size = size.toLongLong();
        seen.insert(file.name);
        result.files << file;
    }
    *manifest = result;
    return true;
}

QByteArray SignedManifest::text() const
{
    QByteArray out = header + "\nstamp " + QByteArray::number(stamp) + '\n';
    for (const File &file : files)
        out += file.sha256 + ' ' + QByteArray::number(file.size) + ' ' + file.name.toLatin1() + '\n';
    return out;
}
