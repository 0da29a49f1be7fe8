// What the sanitizer run must tell apart, in one small program:
//   leakprobe library   a library that keeps an allocation in its globals
//                       and is closed again (as the GL driver is): no report
//   leakprobe own       our own code leaks: reported, naming this file
//   leakprobe qobject   so does a QObject of ours (its private part is Qt's)
#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <cstring>
#include <dlfcn.h>

static void leakOnPurpose()
{
    // Deliberately never deleted.
    [[maybe_unused]] int *lost = new int[4];
}

static void leakQObject()
{
    [[maybe_unused]] QObject *lost = new QObject;
}

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "own") == 0) {
        leakOnPurpose();
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "qobject") == 0) {
        // As our code runs in the programs: from the event loop.
        QCoreApplication app(argc, argv);
        QTimer::singleShot(0, &app, [] {
            leakQObject();
            QCoreApplication::quit();
        });
        return app.exec();
    }
    void *library = dlopen(LEAKPROBE_LIBRARY, RTLD_NOW);
    if (!library)
        return 2;
    dlclose(library);
    return 0;
}
