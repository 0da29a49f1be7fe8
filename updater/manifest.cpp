#include "updater/manifest.h"

#include "app/gamefolder.h"

#include <QDebug>
#include <QStringList>

#include <cctype>

bool parseFileInfo(const QString &line, QString &name, quint32 &crc)
{
    const QStringList pieces = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (pieces.size() != 2) {
        qDebug() << "Invalid files.txt format: " << line;
        return false;
    }
    name = pieces.at(0);
    // Plain hex digits only: toUInt() alone would also take a "0x" prefix or a sign.
    const QString digits = pieces.at(1).trimmed();
    bool ok = !digits.isEmpty();
    for (const QChar c : digits)
        ok = ok && c.unicode() < 0x80 && std::isxdigit(c.unicode());
    crc = ok ? digits.toUInt(&ok, 16) : 0;
    return ok;
}

bool parseStampLine(const QString &line, qint64 &stamp)
{
    bool ok = false;
    stamp = line.trimmed().toLongLong(&ok, 10);
    return ok;
}

QString manifestLineText(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
}

bool isSafeContentName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return false;
    }
    const QStringList segments = name.split(QLatin1Char('/'), Qt::KeepEmptyParts);
    for (const QString &segment : segments) {
        if (segment.isEmpty() || segment == QLatin1String(".") || segment == QLatin1String(".."))
            return false;
    }
    return true;
}

QUrl serverUrl(const QString &root, const QString &relativePath)
{
    // Joined as plain text: the configured root is expected to end in "/".
    return QUrl(root + relativePath);
}

QString contentPath(const QString &name)
{
    return GameFolder::relative(GameFolder::content) + QLatin1Char('/') + name;
}
