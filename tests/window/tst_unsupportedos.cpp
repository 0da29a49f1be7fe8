// The start on a system without a supported Flash Player security folder. The
// program is linked with the platform answer of Windows NT 4.
#include "app/appconfig.h"
#include "testenv.h"
#include "web/mytabwidget.h"
#include "window/flashenvironment.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

QT_WARNING_DISABLE_DEPRECATED

class TestUnsupportedOs : public QObject
{
    Q_OBJECT
private slots:
    void windowsVersions_data();
    void windowsVersions();
    void userDataPath();
    void startRefuses();
};

void TestUnsupportedOs::windowsVersions_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("supported");
    QTest::newRow("NT 4") << int(QSysInfo::WV_NT) << false;
    QTest::newRow("2000") << int(QSysInfo::WV_2000) << true;
    QTest::newRow("XP") << int(QSysInfo::WV_XP) << true;
    QTest::newRow("2003") << int(QSysInfo::WV_2003) << true;
    QTest::newRow("Vista") << int(QSysInfo::WV_VISTA) << true;
    QTest::newRow("7") << int(QSysInfo::WV_WINDOWS7) << true;
    QTest::newRow("8") << int(QSysInfo::WV_WINDOWS8) << false;
    QTest::newRow("10") << int(QSysInfo::WV_WINDOWS10) << false;
    QTest::newRow("98") << int(QSysInfo::WV_98) << false;
    QTest::newRow("none") << int(QSysInfo::WV_None) << false;
}

void TestUnsupportedOs::windowsVersions()
{
    QFETCH(int, version);
    QFETCH(bool, supported);
    QCOMPARE(isSupportedWindowsVersion(QSysInfo::WinVersion(version)), supported);
}

void TestUnsupportedOs::userDataPath()
{
    MessageLog log;
    const QString path = ::userDataPath();
    QCOMPARE(path, TestEnv::home() + "/.config/");
    QVERIFY(log.contains("APPDATA= \"" + path + "\""));
}

void TestUnsupportedOs::startRefuses()
{
    MainWindow window;
    QTranslator none;
    window.translatorEn = &none;
    window.translatorRu = &none;
    QString shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            icon = box->icon();
            box->accept();
        }
    });
    MessageLog log;
    QVERIFY(!window.start());
    QCOMPARE(shown, QString("Unsupported Operating System"));
    QCOMPARE(icon, QMessageBox::Critical);
    QVERIFY(log.contains("Macromedia security path:  \"\""));
    QVERIFY(!log.contains("Trust file:"));
    QVERIFY(!log.contains("Downloader ctor"));
    QCOMPARE(window.tabWidget()->count(), 0);
    QVERIFY(!QDir(TestEnv::home() + "/.macromedia").exists());
}

TARVEN_TEST_MAIN(TestUnsupportedOs)
#include "tst_unsupportedos.moc"
