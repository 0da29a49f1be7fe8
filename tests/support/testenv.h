#ifndef TESTENV_H
#define TESTENV_H

#include <QDebug>
#include <QString>
#include <QtTest>

// QtTest's QTRY_* macros give up after 5 s. Pages, tabs and movies on a busy
// two-core machine may take longer; a wait still ends as soon as the state
// has arrived, so only a failing check takes the whole time.
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 20000)
#undef QTRY_VERIFY2
#define QTRY_VERIFY2(expr, message) QTRY_VERIFY2_WITH_TIMEOUT(expr, message, 20000)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 20000)

// Every test program runs in a temporary working folder of its own with its
// own HOME, so that nothing touches the real home or the source tree.
namespace TestEnv {
void init(const char *programName);
QString root();                      // the test's temporary folder (also HOME's parent)
QString home();
QString writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);
bool writeFileIfPossible(const QString &path, const QByteArray &data); // false where it cannot be written
QString freshDir(const QString &name); // an empty folder below root(), made the working folder
QString binaryDir();                 // the build folder (for the client and tools)
}

// Like QTEST_MAIN, with the test environment set up before QApplication exists.
#define TARVEN_TEST_MAIN(TestObject)                                   \
    int main(int argc, char *argv[])                                   \
    {                                                                  \
        TestEnv::init(#TestObject);                                    \
        QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);        \
        QApplication app(argc, argv);                                  \
        TestObject tc;                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                     \
        return QTest::qExec(&tc, argc, argv);                          \
    }

// A diagnostic line as the program writes it: the items through the debug
// stream (strings quoted, URLs in their QUrl(...) form, blanks between).
template <typename... Items>
QString debugLine(const Items &...items)
{
    QString text;
    {
        QDebug stream(&text);
        (stream << ... << items);
    }
    if (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

// Collects what reaches the Qt message channel, for asserting diagnostic lines.
// Lines are matched whole: a fragment would also be found in other lines.
class MessageLog
{
public:
    MessageLog();
    ~MessageLog();
    QStringList lines() const;
    bool contains(const QString &line) const { return count(line) > 0; }
    int count(const QString &line) const;
    // Lines that begin with the text, for lines whose end is not the client's
    // own (an engine's message, a temporary path).
    int countStarting(const QString &start) const;
    void clear();
};

#endif // TESTENV_H
