#ifndef LOGFILE_H
#define LOGFILE_H

#include <QString>

// The diagnostic lines, also in a file of the game folder for the player to
// send to support (a player started from the desktop never sees standard
// error). Each run starts the file anew and keeps the previous run's beside
// it; a run writes at most `limit` bytes, then says so and goes on with
// standard error alone. Lines are written as they come, so a crash loses none.
namespace LogFile {
constexpr qint64 maxBytes = 4 << 20;

// Opens "<folder>/tarvenholm.log" (the previous run's becomes
// "tarvenholm.old.log") and copies every diagnostic line into it from now on.
// Never follows or writes into a file that was there already. Returns why
// there is no log file, or an empty text.
QString open(const QString &folder, qint64 limit = maxBytes);
// Stops copying and closes the file.
void close();
// The log file's path, or an empty text while there is none.
QString path();
} // namespace LogFile

#endif // LOGFILE_H
