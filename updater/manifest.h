#ifndef MANIFEST_H
#define MANIFEST_H

#include <QByteArray>
#include <QString>
#include <QUrl>

// The update server publishes, below its root URL, "update/stamp.txt" (one
// decimal version number of the whole content set) and "update/files.txt"
// (one "name,crc32hex" line per file). A listed name addresses the file both
// below the root on the server and below "./content/" locally.

// One files.txt line, line end included. False (with a diagnostic line) for
// anything but exactly two comma-separated fields with a 32-bit hex checksum.
bool parseFileInfo(const QString &line, QString &name, quint32 &crc);

// The first line of stamp.txt: a signed 64-bit decimal number, blanks around it allowed.
bool parseStampLine(const QString &line, qint64 &stamp);

// A manifest line as text: every byte one Latin-1 character, cut at the first NUL.
QString manifestLineText(const QByteArray &bytes);

// True when `name` stays inside the content folder on every platform: relative,
// no drive letter, no backslash, no empty, "." or ".." segment, no control character.
bool isSafeContentName(const QString &name);

QUrl serverUrl(const QString &root, const QString &relativePath);
QString contentPath(const QString &name);

#endif // MANIFEST_H
