// The update window's speed and time left, as a table: what samples of the
// bytes received give, and how a speed and the bytes to come read.
#include "testenv.h"
#include "updater/transferrate.h"

#include <QLocale>
#include <QTest>

class TestTransferRate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void rate_data();
    void rate();
    void describe_data();
    void describe();
};

void TestTransferRate::rate_data()
{
    QTest::addColumn<QList<qint64>>("samples"); // time in ms, bytes received, in turn
    QTest::addColumn<double>("bytesPerSecond");
    QTest::newRow("nothing yet") << QList<qint64>() << 0.0;
    QTest::newRow("too short a moment") << QList<qint64>({0, 0, 100, 50000}) << 0.0;
    QTest::newRow("steady") << QList<qint64>({0, 0, 1000, 1000000, 2000, 2000000}) << 1e6;
    // Only the last seconds count: a fast start is forgotten.
    QTest::newRow("slower after a fast start") << QList<qint64>({0, 0, 1000, 50000000, 7000, 56000000, 8000, 57000000})
                                               << 1e6;
    QTest::newRow("a transfer begun again") << QList<qint64>({0, 1000, 1000, 0}) << -1000.0;
}

void TestTransferRate::rate()
{
    QFETCH(QList<qint64>, samples);
    QFETCH(double, bytesPerSecond);
    TransferRate rate;
    for (qsizetype i = 0; i + 1 < samples.size(); i += 2)
        rate.note(samples.at(i + 1), samples.at(i));
    QCOMPARE(rate.bytesPerSecond(), bytesPerSecond);
    rate.clear();
    QCOMPARE(rate.bytesPerSecond(), 0.0);
}

void TestTransferRate::describe_data()
{
    QTest::addColumn<double>("bytesPerSecond");
    QTest::addColumn<qint64>("remaining"); // -1: not known
    QTest::addColumn<QString>("text");
    QTest::newRow("no speed") << 0.0 << qint64(1000) << "";
    QTest::newRow("speed only") << 1240000.0 << qint64(-1) << "1.2 MB/s";
    QTest::newRow("seconds left") << 1000000.0 << qint64(35000000) << "1.0 MB/s, 0:35 left";
    QTest::newRow("a part of a second rounds up") << 1000000.0 << qint64(1) << "1.0 MB/s, 0:01 left";
    QTest::newRow("minutes") << 10000.0 << qint64(6050000) << "10.0 kB/s, 10:05 left";
    QTest::newRow("hours") << 1000.0 << qint64(3723000) << "1.0 kB/s, 1:02:03 left";
}

void TestTransferRate::describe()
{
    QFETCH(double, bytesPerSecond);
    QFETCH(qint64, remaining);
    QFETCH(QString, text);
    QCOMPARE(TransferRate::describe(bytesPerSecond, remaining), text);
}

TARVEN_TEST_MAIN(TestTransferRate)
#include "tst_transferrate.moc"
