// The Flash Player's policy rules as a table: which site's movies a server's
// socket or HTTP policy file lets in; and a socket policy's answer as a
// server of the test's gives it.
#include "movie/flashpolicy.h"
#include "movie/policyfiles.h"
#include "socketserver.h"
#include "testenv.h"

#include <QApplication>

#include <optional>

class TestFlashPolicy : public QObject
{
    Q_OBJECT
private slots:
    void socketGrants_data();
    void socketGrants();
    void httpGrants_data();
    void httpGrants();
    void socketPolicyAnswer_data();
    void socketPolicyAnswer();
};

static QByteArray policy(const QByteArray &body)
{
    return "<?xml version=\"1.0\"?><!DOCTYPE cross-domain-policy SYSTEM \"/xml/dtds/cross-domain-policy.dtd\">"
           "<cross-domain-policy>" + body + "</cross-domain-policy>";
}

static QByteArray allow(const QByteArray &domain, const QByteArray &ports)
{
    return "<allow-access-from domain=\"" + domain + "\" to-ports=\"" + ports + "\"/>";
}

void TestFlashPolicy::socketGrants_data()
{
    QTest::addColumn<QByteArray>("master"); // the master port's answer ("": none)
    QTest::addColumn<QByteArray>("own");    // the endpoint's own port's answer
    QTest::addColumn<int>("ownPort");       // the endpoint's port, where `own` came from
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("granted");
    const QByteArray none;
    const QByteArray any = policy(allow("*", "*"));
    QTest::newRow("no policy anywhere") << none << none << 9000 << "forum.example.org" << 9000 << false;
    QTest::newRow("master grants all") << any << none << 9000 << "forum.example.org" << 9000 << true;
    QTest::newRow("master, exact site") << policy(allow("forum.example.org", "9000")) << none << 9000 << "forum.example.org" << 9000 << true;
    QTest::newRow("master, letter case") << policy(allow("Forum.Example.ORG", "9000")) << none << 9000 << "forum.example.org" << 9000 << true;
    QTest::newRow("master, other site") << policy(allow("shop.example.org", "9000")) << none << 9000 << "forum.example.org" << 9000 << false;
    QTest::newRow("wildcard, a name below") << policy(allow("*.example.org", "*")) << none << 9000 << "a.forum.example.org" << 9000 << true;
    QTest::newRow("wildcard, the name itself") << policy(allow("*.example.org", "*")) << none << 9000 << "example.org" << 9000 << true;
    QTest::newRow("wildcard, a name ending alike") << policy(allow("*.example.org", "*")) << none << 9000 << "badexample.org" << 9000 << false;
    QTest::newRow("wildcard never covers an address") << policy(allow("*.0.2.1", "*")) << none << 9000 << "192.0.2.1" << 9000 << false;
    QTest::newRow("address, exact") << policy(allow("192.0.2.1", "*")) << none << 9000 << "192.0.2.1" << 9000 << true;
    QTest::newRow("port list") << policy(allow("*", "80,9000")) << none << 9000 << "a.org" << 9000 << true;
    QTest::newRow("port range") << policy(allow("*", "8000-9999")) << none << 9000 << "a.org" << 9000 << true;
    QTest::newRow("port outside the range") << policy(allow("*", "8000-8999")) << none << 9000 << "a.org" << 9000 << false;
    QTest::newRow("no to-ports") << policy("<allow-access-from domain=\"*\"/>") << none << 9000 << "a.org" << 9000 << false;
    QTest::newRow("bad to-ports") << policy(allow("*", "90x0")) << none << 9000 << "a.org" << 9000 << false;
    QTest::newRow("own port grants") << none << any << 9000 << "a.org" << 9000 << true;
    // A policy served from port 1024 or above speaks for such ports only.
    QTest::newRow("high own port, low port") << none << any << 5000 << "a.org" << 443 << false;
    QTest::newRow("master, low port") << any << none << 5000 << "a.org" << 443 << true;
    // ... at the bound itself: 1024 is the first such port, both ways.
    QTest::newRow("own port 1024, port 1023") << none << any << 1024 << "a.org" << 1023 << false;
    QTest::newRow("own port 1024, port 1024") << none << any << 1024 << "a.org" << 1024 << true;
    QTest::newRow("own port 1023, port 1023") << none << any << 1023 << "a.org" << 1023 << true;
    QTest::newRow("master forbids other files") << policy("<site-control permitted-cross-domain-policies=\"master-only\"/>")
                                                << any << 9000 << "a.org" << 9000 << false;
    QTest::newRow("master forbids everything") << policy("<site-control permitted-cross-domain-policies=\"none\"/>" + allow("*", "*"))
                                               << any << 9000 << "a.org" << 9000 << false;
    QTest::newRow("master allows other files") << policy("<site-control permitted-cross-domain-policies=\"all\"/>")
                                               << any << 9000 << "a.org" << 9000 << true;
    QTest::newRow("unknown meta-policy") << policy("<site-control permitted-cross-domain-policies=\"maybe\"/>")
                                         << any << 9000 << "a.org" << 9000 << false;
    QTest::newRow("not a policy") << QByteArray("<html>hello</html>") << any << 9000 << "a.org" << 9000 << true;
    QTest::newRow("broken XML") << QByteArray("<cross-domain-policy>" + allow("*", "*")) << none << 9000 << "a.org" << 9000 << false;
    QTest::newRow("too large") << policy(allow("*", "*") + QByteArray(FlashPolicy::maxSize, ' ')) << none << 9000 << "a.org" << 9000 << false;
}

void TestFlashPolicy::socketGrants()
{
    QFETCH(QByteArray, master);
    QFETCH(QByteArray, own);
    QFETCH(int, ownPort);
    QFETCH(QString, domain);
    QFETCH(int, port);
    QFETCH(bool, granted);
    QCOMPARE(FlashPolicy::grantsSocket(FlashPolicy::parse(master), FlashPolicy::parse(own), quint16(ownPort), domain,
                                       quint16(port)),
             granted);
}

void TestFlashPolicy::httpGrants_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<bool>("pageSecure");
    QTest::addColumn<bool>("serverSecure");
    QTest::addColumn<bool>("granted");
    const QByteArray site = policy("<allow-access-from domain=\"forum.example.org\"/>");
    QTest::newRow("no file") << QByteArray() << "forum.example.org" << false << false << false;
    QTest::newRow("the site") << site << "forum.example.org" << false << false << true;
    QTest::newRow("another site") << site << "shop.example.org" << false << false << false;
    QTest::newRow("every site") << policy("<allow-access-from domain=\"*\"/>") << "shop.example.org" << false << false << true;
    // An https server's data goes to https pages unless it says otherwise.
    QTest::newRow("https server, http page") << site << "forum.example.org" << false << true << false;
    QTest::newRow("https server, https page") << site << "forum.example.org" << true << true << true;
    QTest::newRow("https server, secure=false") << policy("<allow-access-from domain=\"forum.example.org\" secure=\"false\"/>")
                                                << "forum.example.org" << false << true << true;
    QTest::newRow("policy files forbidden") << policy("<site-control permitted-cross-domain-policies=\"none\"/>"
                                                      "<allow-access-from domain=\"*\"/>")
                                            << "forum.example.org" << false << false << false;
    QTest::newRow("master only") << policy("<site-control permitted-cross-domain-policies=\"master-only\"/>"
                                           "<allow-access-from domain=\"*\"/>")
                                 << "forum.example.org" << false << false << true;
    QTest::newRow("another root element") << QByteArray("<policy><allow-access-from domain=\"*\"/></policy>")
                                          << "forum.example.org" << false << false << false;
}

void TestFlashPolicy::httpGrants()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, domain);
    QFETCH(bool, pageSecure);
    QFETCH(bool, serverSecure);
    QFETCH(bool, granted);
    QCOMPARE(FlashPolicy::grantsHttp(FlashPolicy::parse(file), domain, pageSecure, serverSecure), granted);
}

void TestFlashPolicy::socketPolicyAnswer_data()
{
    QTest::addColumn<int>("size"); // the answer's bytes, its closing NUL included
    QTest::addColumn<bool>("granted");
    QTest::newRow("the bound's size") << int(FlashPolicy::maxSize) << true;
    QTest::newRow("a byte over") << int(FlashPolicy::maxSize + 1) << false;
}

// An answer past the bound grants nothing, however it ends.
void TestFlashPolicy::socketPolicyAnswer()
{
    QFETCH(int, size);
    QFETCH(bool, granted);
    const QByteArray start = "<cross-domain-policy>" + allow("*", "*"), end = "</cross-domain-policy>";
    SocketServer master(false);
    master.setPolicy(start + QByteArray(size - 1 - start.size() - end.size(), ' ') + end);
    PolicyFiles policies;
    policies.setMasterPort(quint16(master.serverPort()));
    std::optional<bool> answer;
    // Port 9 of this machine answers nothing: only the master's answer can grant.
    policies.checkSocket(SocketEndpoint{"127.0.0.1", 9}, "a.org", [&](bool yes, const QString &) { answer = yes; });
    QTRY_VERIFY(answer.has_value());
    QCOMPARE(*answer, granted);
    QCOMPARE(master.policyRequests(), 1);
}

TARVEN_TEST_MAIN(TestFlashPolicy)
#include "tst_flashpolicy.moc"
