#ifndef READONLY_H
#define READONLY_H

#include <QString>

// Makes a file or folder unwritable even for root (the tests run as root in CI):
// by its mode for an ordinary user, as immutable (chattr +i) for root.
// False when this machine allows neither; undo with makeWritable().
bool makeReadOnly(const QString &path);
void makeWritable(const QString &path);

#endif // READONLY_H
