#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QString>

// What the client answers on its command line without starting: "--version"
// (the client's, Qt's, the web engine's and Ruffle's) and "--help". Every
// other argument is Qt's or the web engine's and starts the client.
namespace CommandLine {
// The exit code after the answer has been written to standard output, or -1:
// start the client.
int answer(int argc, char *argv[]);
QString versionText();
QString helpText();
} // namespace CommandLine

#endif // COMMANDLINE_H
