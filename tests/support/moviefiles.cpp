#include "moviefiles.h"

#include "swfwriter.h"

#include <QStringList>

QByteArray MovieFiles::colours(const QColor &background, const QColor &square)
{
    SwfWriter movie(400, 300);
    movie.setBackground(background);
    movie.place(movie.defineRect(QRect(150, 100, 100, 100), square), 1);
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::link(const QString &url, const QString &target, const QColor &background)
{
    SwfWriter movie(400, 300);
    movie.setBackground(background);
    const int face = movie.defineRect(QRect(0, 0, 400, 300), background);
    movie.place(movie.defineButton({face}, AvmCode().getUrl(url, target)), 1);
    movie.doAction(AvmCode().stop());
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::battle(const QString &root)
{
    SwfWriter movie(400, 300);
    movie.setBackground(QColor(30, 30, 90));
    // Frame 1: number = _url after its "?"; load the battle's variables.
    AvmCode start;
    start.push(QStringLiteral("number")).pushUrlQuery().setVariable();
    start.push(root + QStringLiteral("battle/")).push(QStringLiteral("number")).getVariable().add()
        .push(QStringLiteral(".txt")).add()
        .push(QStringLiteral("_level0"))
        .getUrlFromStack(true, false);
    movie.doAction(start);
    movie.showFrame();
    // Frame 2: once "result" has arrived, say what the movie has; else wait.
    AvmCode check;
    check.push(QStringLiteral("result")).getVariable().pushUndefined().equals().jumpIf(QStringLiteral("wait"))
        .push(root + QStringLiteral("seen?")).push(QStringLiteral("number")).getVariable().add()
        .push(QStringLiteral("-")).add().push(QStringLiteral("result")).getVariable().add()
        .push(QStringLiteral("_blank"))
        .getUrlFromStack(false, false)
        .stop()
        .label(QStringLiteral("wait"));
    movie.doAction(check);
    movie.showFrame();
    // Frame 3: back to the check.
    movie.doAction(AvmCode().gotoFrame(1).play());
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::saver(const QString &root)
{
    SwfWriter movie(400, 300);
    movie.setBackground(QColor(30, 90, 30));
    AvmCode code;
    // so = SharedObject.getLocal("tvsave"); n = so.data.n, or 0
    code.push(QStringLiteral("so")).push(QStringLiteral("tvsave")).push(1).push(QStringLiteral("SharedObject"))
        .getVariable().push(QStringLiteral("getLocal")).callMethod().setVariable();
    code.push(QStringLiteral("n")).push(QStringLiteral("so")).getVariable().push(QStringLiteral("data")).getMember()
        .push(QStringLiteral("n")).getMember().setVariable();
    code.push(QStringLiteral("n")).getVariable().pushUndefined().equals().logicalNot().jumpIf(QStringLiteral("has"))
        .push(QStringLiteral("n")).push(0).setVariable().label(QStringLiteral("has"));
    // so.data.n = n + 1; so.flush()
    code.push(QStringLiteral("so")).getVariable().push(QStringLiteral("data")).getMember().push(QStringLiteral("n"))
        .push(QStringLiteral("n")).getVariable().push(1).add().setMember();
    code.push(0).push(QStringLiteral("so")).getVariable().push(QStringLiteral("flush")).callMethod().pop();
    code.push(root + QStringLiteral("saved?")).push(QStringLiteral("n")).getVariable().add().push(QStringLiteral("_self"))
        .getUrlFromStack(false, false).stop();
    movie.doAction(code);
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::tone()
{
    SwfWriter movie(400, 300);
    movie.setBackground(QColor(90, 30, 30));
    movie.startSound(movie.defineTone(440, 2000), 100);
    movie.doAction(AvmCode().stop());
    movie.showFrame();
    return movie.finish();
}

// report(what): a LoadVars request to "<root>report?" + escape(what), each a
// load of its own (a timeline's loadVariables would cancel the one before).
static AvmCode reportFunction(const QString &root)
{
    AvmCode body;
    body.push(QStringLiteral("r")).push(0).push(QStringLiteral("LoadVars")).newObject().setVariable();
    body.push(root + QStringLiteral("report?")).push(QStringLiteral("what")).getVariable().push(1)
        .push(QStringLiteral("escape")).callFunction().add();
    body.push(1).push(QStringLiteral("r")).getVariable().push(QStringLiteral("load")).callMethod().pop();
    return AvmCode().defineFunction(QStringLiteral("report"), {QStringLiteral("what")}, body);
}

// report(<text pushed by `what`>)
static AvmCode &callReport(AvmCode &code)
{
    return code.push(1).push(QStringLiteral("report")).callFunction().pop();
}

QByteArray MovieFiles::socket(const QString &host, int port, const QString &message, const QString &root)
{
    SwfWriter movie(400, 300);
    movie.setBackground(QColor(40, 40, 40));
    AvmCode code = reportFunction(root);
    // s = new XMLSocket()
    code.push(QStringLiteral("s")).push(0).push(QStringLiteral("XMLSocket")).newObject().setVariable();
    // s.onConnect = function (ok) { report("connect-" + ok); if (ok) s.send(message); }
    AvmCode onConnect;
    onConnect.push(QStringLiteral("connect-")).push(QStringLiteral("ok")).getVariable().add();
    callReport(onConnect);
    onConnect.push(QStringLiteral("ok")).getVariable().logicalNot().jumpIf(QStringLiteral("failed"))
        .push(message).push(1).push(QStringLiteral("s")).getVariable().push(QStringLiteral("send")).callMethod().pop()
        .label(QStringLiteral("failed"));
    code.push(QStringLiteral("s")).getVariable().push(QStringLiteral("onConnect"))
        .defineFunction(QString(), {QStringLiteral("ok")}, onConnect).setMember();
    // s.onData = function (d) { report("data-" + d); }
    AvmCode onData;
    onData.push(QStringLiteral("data-")).push(QStringLiteral("d")).getVariable().add();
    callReport(onData);
    code.push(QStringLiteral("s")).getVariable().push(QStringLiteral("onData"))
        .defineFunction(QString(), {QStringLiteral("d")}, onData).setMember();
    // s.onClose = function () { report("close"); }
    AvmCode onClose;
    onClose.push(QStringLiteral("close"));
    callReport(onClose);
    code.push(QStringLiteral("s")).getVariable().push(QStringLiteral("onClose"))
        .defineFunction(QString(), {}, onClose).setMember();
    // s.connect(host, port)
    code.push(port).push(host).push(2).push(QStringLiteral("s")).getVariable().push(QStringLiteral("connect"))
        .callMethod().pop().stop();
    movie.doAction(code);
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::fsCommand(const QString &command, const QString &args)
{
    SwfWriter movie(400, 300);
    movie.setBackground(QColor(40, 40, 40));
    movie.doAction(AvmCode().getUrl(QStringLiteral("FSCommand:") + command, args).stop());
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::loadsMovie(const QString &url)
{
    SwfWriter movie(400, 300);
    movie.setBackground(QColor(40, 40, 40));
    movie.doAction(AvmCode().push(url).push(QStringLiteral("_level1")).getUrlFromStack(false, false).stop());
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::ownUrl(const QString &root)
{
    SwfWriter movie(400, 300);
    movie.setBackground(QColor(40, 40, 40));
    AvmCode code = reportFunction(root);
    code.push(QStringLiteral("url-")).getProperty(15).add();
    callReport(code).stop();
    movie.doAction(code);
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::variables(const QString &dataRoot, const QString &root)
{
    SwfWriter movie(400, 300);
    movie.setBackground(QColor(40, 40, 40));
    AvmCode code = reportFunction(root);
    // v = new LoadVars(); v.onLoad = function (ok) { report("load-" + ok); }; v.load(...)
    code.push(QStringLiteral("v")).push(0).push(QStringLiteral("LoadVars")).newObject().setVariable();
    AvmCode onLoad;
    onLoad.push(QStringLiteral("load-")).push(QStringLiteral("ok")).getVariable().add();
    callReport(onLoad);
    code.push(QStringLiteral("v")).getVariable().push(QStringLiteral("onLoad"))
        .defineFunction(QString(), {QStringLiteral("ok")}, onLoad).setMember();
    code.push(dataRoot + QStringLiteral("data.txt")).push(1).push(QStringLiteral("v")).getVariable()
        .push(QStringLiteral("load")).callMethod().pop();
    // p = new LoadVars(); p.x = 1; a = new LoadVars(); a.onLoad = ...; p.sendAndLoad(url, a, "POST")
    code.push(QStringLiteral("p")).push(0).push(QStringLiteral("LoadVars")).newObject().setVariable();
    code.push(QStringLiteral("p")).getVariable().push(QStringLiteral("x")).push(1).setMember();
    code.push(QStringLiteral("a")).push(0).push(QStringLiteral("LoadVars")).newObject().setVariable();
    AvmCode onPosted;
    onPosted.push(QStringLiteral("post-")).push(QStringLiteral("ok")).getVariable().add();
    callReport(onPosted);
    code.push(QStringLiteral("a")).getVariable().push(QStringLiteral("onLoad"))
        .defineFunction(QString(), {QStringLiteral("ok")}, onPosted).setMember();
    code.push(QStringLiteral("POST")).push(QStringLiteral("a")).getVariable().push(dataRoot + QStringLiteral("echo")).push(3)
        .push(QStringLiteral("p")).getVariable().push(QStringLiteral("sendAndLoad")).callMethod().pop().stop();
    movie.doAction(code);
    movie.showFrame();
    return movie.finish();
}

QByteArray MovieFiles::fullScreen(const QColor &background)
{
    SwfWriter movie(400, 300);
    movie.setBackground(background);
    const int face = movie.defineRect(QRect(0, 0, 400, 300), background);
    AvmCode onRelease;
    onRelease.push(QStringLiteral("Stage")).getVariable().push(QStringLiteral("displayState"))
        .push(QStringLiteral("fullScreen")).setMember();
    movie.place(movie.defineButton({face}, onRelease), 1);
    movie.doAction(AvmCode().stop());
    movie.showFrame();
    return movie.finish();
}
