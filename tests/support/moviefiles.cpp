#include "moviefiles.h"

#include "swfwriter.h"

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
