#ifndef FUZZCOMMON_H
#define FUZZCOMMON_H

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

// The code under test writes diagnostic lines; at fuzzing speed they only cost.
inline void silenceMessages()
{
    static bool done = false;
    if (!done) {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        done = true;
    }
}

#define FUZZ_ASSERT(condition)                                                          \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

#endif // FUZZCOMMON_H
