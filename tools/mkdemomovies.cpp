// Writes the demo's Flash movies, the game the demo update server publishes:
//   tarvenholm-demo-movies <game folder> <server root> <partner site folder> <game server host:port>
// loader.swf (the crest and buttons whose links try out the client, and the
// game room: a chat with the demo's game server over XMLSocket and the
// server's news by LoadVars), and battle.swf (shows the battle number it is
// given: "battle.swf?12345") into the game folder; banner.swf, a movie inside
// the partner site's page that joins the room too, into its folder.
#include "swfwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPolygon>

#include <cmath>
#include <utility>
#include <cstdio>

namespace {
const QColor background(43, 10, 16);
const QColor gold(232, 192, 96);
const QColor crimson(122, 16, 32);
const QColor parchment(243, 230, 200);

QString html(const QString &text, int size, const QColor &colour, const QString &align = QStringLiteral("center"))
{
    return QStringLiteral("<p align=\"%1\"><font face=\"_sans\" size=\"%2\" color=\"%3\">%4</font></p>")
        .arg(align, QString::number(size), colour.name(), text);
}

// The shield with a "T" of the game's crest, `size` pixels wide at `at`.
void crest(SwfWriter &movie, const QPoint &at, int size, int depth)
{
    auto shield = [&](int inset) {
        QPolygon points;
        const double w = size - 2 * inset, left = at.x() + inset, top = at.y() + inset;
        points << QPoint(int(left), int(top)) << QPoint(int(left + w), int(top));
        // Straight sides down to half its height, then a curve to the point.
        for (int i = 0; i <= 16; ++i) {
            const double a = M_PI / 2 * i / 16;
            points << QPoint(int(left + w / 2 + w / 2 * std::cos(a)), int(top + w / 2 + w * 0.75 * std::sin(a)));
        }
        for (int i = 15; i >= 0; --i) {
            const double a = M_PI / 2 * i / 16;
            points << QPoint(int(left + w / 2 - w / 2 * std::cos(a)), int(top + w / 2 + w * 0.75 * std::sin(a)));
        }
        return points;
    };
    movie.place(movie.definePolygon(shield(0), gold), depth);
    movie.place(movie.definePolygon(shield(size / 16), crimson), depth + 1);
    const int unit = size / 8;
    movie.place(movie.defineRect(QRect(at.x() + 2 * unit, at.y() + 2 * unit, 4 * unit, unit), gold), depth + 2);
    movie.place(movie.defineRect(QRect(at.x() + 7 * unit / 2, at.y() + 2 * unit, unit, 5 * unit), gold), depth + 3);
}

// Pushes the text of the variable `name` made safe for an HTML text field:
// what other players write must not become markup (links, images) in ours.
AvmCode &pushEscaped(AvmCode &code, const QString &name)
{
    code.push(QStringLiteral("esc")).push(name).getVariable().setVariable();
    const std::pair<const char *, const char *> entities[] = {{"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}};
    for (const auto &[from, to] : entities) {
        // esc = esc.split(from).join(to)
        code.push(QStringLiteral("esc")).push(QString::fromLatin1(to)).push(1)
            .push(QString::fromLatin1(from)).push(1).push(QStringLiteral("esc")).getVariable()
            .push(QStringLiteral("split")).callMethod()
            .push(QStringLiteral("join")).callMethod().setVariable();
    }
    return code.push(QStringLiteral("esc")).getVariable();
}

// The start of a line of HTML text in the size and colour; "</font></p>" ends it.
QString lineStart(int size, const QColor &colour)
{
    return html(QStringLiteral("@"), size, colour, QStringLiteral("left")).section(QLatin1Char('@'), 0, 0);
}

// The game room's connection, on the timeline: `room` shows the last lines
// the server sent (escaped), `status` how the connection is. After the
// server's welcome the movie says `hello` once.
AvmCode gameRoom(const QString &host, int port, const QString &hello, int lines, int size)
{
    const QString start = lineStart(size, parchment), end = QStringLiteral("</font></p>");
    auto status = [&](AvmCode &code, const QString &text) {
        code.push(QStringLiteral("status")).push(html(text, size, gold, QStringLiteral("left"))).setVariable();
    };
    AvmCode code;
    code.push(QStringLiteral("said")).push(0).push(QStringLiteral("Array")).newObject().setVariable();
    code.push(QStringLiteral("s")).push(0).push(QStringLiteral("XMLSocket")).newObject().setVariable();
    // s.onConnect = function (ok) { status = ok ? ... : ...; }
    AvmCode onConnect;
    onConnect.push(QStringLiteral("ok")).getVariable().jumpIf(QStringLiteral("connected"));
    status(onConnect, QStringLiteral("No game server answers at %1:%2 (./run.sh starts one).").arg(host).arg(port));
    onConnect.jump(QStringLiteral("end")).label(QStringLiteral("connected"));
    status(onConnect, QStringLiteral("In the game room at %1:%2.").arg(host).arg(port));
    onConnect.label(QStringLiteral("end"));
    code.push(QStringLiteral("s")).getVariable().push(QStringLiteral("onConnect"))
        .defineFunction(QString(), {QStringLiteral("ok")}, onConnect).setMember();
    // s.onData = function (d) { said.push(line(d)); said = said.slice(-lines); room = said.join("");
    //                           if (!greeted) { greeted = true; s.send(hello); } }
    AvmCode onData;
    onData.push(QStringLiteral("line")).push(start);
    pushEscaped(onData, QStringLiteral("d")).add().push(end).add().setVariable();
    onData.push(QStringLiteral("line")).getVariable().push(1).push(QStringLiteral("said")).getVariable()
        .push(QStringLiteral("push")).callMethod().pop();
    onData.push(QStringLiteral("said")).push(-lines).push(1).push(QStringLiteral("said")).getVariable()
        .push(QStringLiteral("slice")).callMethod().setVariable();
    onData.push(QStringLiteral("room")).push(QString()).push(1).push(QStringLiteral("said")).getVariable()
        .push(QStringLiteral("join")).callMethod().setVariable();
    onData.push(QStringLiteral("greeted")).getVariable().jumpIf(QStringLiteral("greeted"));
    onData.push(QStringLiteral("greeted")).push(1).setVariable();
    onData.push(hello).push(1).push(QStringLiteral("s")).getVariable().push(QStringLiteral("send")).callMethod().pop();
    onData.label(QStringLiteral("greeted"));
    code.push(QStringLiteral("s")).getVariable().push(QStringLiteral("onData"))
        .defineFunction(QString(), {QStringLiteral("d")}, onData).setMember();
    AvmCode onClose;
    status(onClose, QStringLiteral("The game server closed the connection."));
    code.push(QStringLiteral("s")).getVariable().push(QStringLiteral("onClose"))
        .defineFunction(QString(), {}, onClose).setMember();
    status(code, QStringLiteral("Connecting to the game server at %1:%2 ...").arg(host).arg(port));
    code.push(port).push(host).push(2).push(QStringLiteral("s")).getVariable().push(QStringLiteral("connect"))
        .callMethod().pop();
    return code;
}

// A button that sends `text` to the game room.
AvmCode say(const QString &text)
{
    return AvmCode().push(text).push(1).push(QStringLiteral("s")).getVariable().push(QStringLiteral("send")).callMethod().pop();
}

QByteArray loader(const QString &root, const QString &host, int port)
{
    SwfWriter movie(800, 900);
    movie.setBackground(background);
    crest(movie, QPoint(352, 24), 96, 1);
    movie.place(movie.defineText(QRect(100, 176, 600, 60), html(QStringLiteral("TarvenHOLM"), 44, gold)), 10);
    movie.place(movie.defineText(QRect(100, 236, 600, 60),
                                 html(QStringLiteral("The demo's loader movie, installed by the update you just watched. "
                                                     "Its buttons try out where links go."), 16, parchment)),
                11);
    struct Link { const char *label, *detail; QString url; const char *target; };
    const Link links[] = {
        {"Game forum", "opens a tab of its own", root + QStringLiteral("forum.tarvenholm/index.html"), ""},
        {"Guild Hall", "partner site: a tab of its own", root + QStringLiteral("guild/index.html"), "_blank"},
        {"An outside site", "goes to your browser", QStringLiteral("http://www.example.org/"), ""},
        {"Mail to support", "goes to your mail program", QStringLiteral("mailto:support@tarvenholm.example"), ""},
        {"A pop-up window", "becomes a tab", QStringLiteral("popup.html"), "_blank"},
        {"Battle 12345", "the battle viewer, in a tab", QStringLiteral("battle.swf?12345"), "_blank"},
    };
    int depth = 20;
    for (int i = 0; i < 6; ++i) {
        const QRect box(80 + (i % 2) * 330, 320 + (i / 2) * 120, 310, 96);
        const int face = movie.defineRect(box, crimson);
        const int edge = movie.defineRect(box.adjusted(-3, -3, 3, 3), gold);
        const int label = movie.defineText(box.adjusted(8, 12, -8, -40),
                                           html(QString::fromLatin1(links[i].label), 24, gold));
        const int detail = movie.defineText(box.adjusted(8, 54, -8, -4),
                                            html(QString::fromLatin1(links[i].detail), 14, parchment));
        movie.place(movie.defineButton({edge, face, label, detail},
                                       AvmCode().getUrl(links[i].url, QString::fromLatin1(links[i].target))),
                    depth++);
    }
    // The game room: the chat, its buttons and the server's news.
    movie.place(movie.defineRect(QRect(80, 680, 640, 200), QColor(24, 6, 10)), depth++);
    movie.place(movie.defineText(QRect(90, 686, 620, 24), QString(), QStringLiteral("status")), depth++);
    movie.place(movie.defineText(QRect(90, 712, 440, 130), QString(), QStringLiteral("room")), depth++);
    movie.place(movie.defineText(QRect(90, 846, 620, 30), QString(), QStringLiteral("news")), depth++);
    const struct { const char *label; const char *text; } says[] = {{"Wave", "waves to everyone"},
                                                                     {"Cheer", "cheers for the guild"}};
    for (int i = 0; i < 2; ++i) {
        const QRect box(550, 716 + i * 64, 160, 52);
        const int face = movie.defineRect(box, crimson);
        const int edge = movie.defineRect(box.adjusted(-2, -2, 2, 2), gold);
        const int label = movie.defineText(box.adjusted(4, 10, -4, -4), html(QString::fromLatin1(says[i].label), 20, gold));
        movie.place(movie.defineButton({edge, face, label}, say(QString::fromLatin1(says[i].text))), depth++);
    }
    AvmCode code = gameRoom(host, port, QStringLiteral("says hello from the game"), 6, 14);
    // news = the server's "news" and "time", by LoadVars
    const QString newsStart = lineStart(13, gold);
    AvmCode onLoad;
    onLoad.push(QStringLiteral("ok")).getVariable().jumpIf(QStringLiteral("loaded"));
    onLoad.push(QStringLiteral("news")).push(newsStart + QStringLiteral("No news from the server.</font></p>")).setVariable();
    onLoad.jump(QStringLiteral("end")).label(QStringLiteral("loaded"));
    onLoad.push(QStringLiteral("got")).push(QStringLiteral("Server news: ")).push(QStringLiteral("v")).getVariable()
        .push(QStringLiteral("news")).getMember().add().push(QStringLiteral(" (")).add().push(QStringLiteral("v")).getVariable()
        .push(QStringLiteral("time")).getMember().add().push(QStringLiteral(")")).add().setVariable();
    onLoad.push(QStringLiteral("news")).push(newsStart);
    pushEscaped(onLoad, QStringLiteral("got")).add().push(QStringLiteral("</font></p>")).add().setVariable();
    onLoad.label(QStringLiteral("end"));
    code.push(QStringLiteral("v")).push(0).push(QStringLiteral("LoadVars")).newObject().setVariable();
    code.push(QStringLiteral("v")).getVariable().push(QStringLiteral("onLoad"))
        .defineFunction(QString(), {QStringLiteral("ok")}, onLoad).setMember();
    code.push(root + QStringLiteral("api/news")).push(1).push(QStringLiteral("v")).getVariable()
        .push(QStringLiteral("load")).callMethod().pop();
    movie.doAction(code.stop());
    movie.showFrame();
    return movie.finish();
}

QByteArray battle()
{
    SwfWriter movie(800, 720);
    movie.setBackground(QColor(16, 24, 48));
    crest(movie, QPoint(352, 60), 96, 1);
    movie.place(movie.defineText(QRect(100, 220, 600, 60), html(QStringLiteral("Battle replay"), 36, gold)), 10);
    // Shows the variable "title", set below.
    movie.place(movie.defineText(QRect(100, 320, 600, 80), QString(), QStringLiteral("title")), 11);
    movie.place(movie.defineText(QRect(100, 420, 600, 100),
                                 html(QStringLiteral("The battle's number came with the movie's address, "
                                                     "as the Flash Player passed it."), 16, parchment)),
                12);
    // title = "Battle " + _url after its "?"
    AvmCode code;
    code.push(QStringLiteral("title"))
        .push(html(QStringLiteral("Battle "), 44, Qt::white).section(QLatin1String("</font>"), 0, 0))
        .pushUrlQuery()
        .add()
        .push(QStringLiteral("</font></p>")).add()
        .setVariable()
        .stop();
    movie.doAction(code);
    movie.showFrame();
    return movie.finish();
}

QByteArray banner(const QString &host, int port)
{
    SwfWriter movie(600, 160);
    movie.setBackground(QColor(20, 60, 30));
    crest(movie, QPoint(20, 12), 72, 1);
    movie.place(movie.defineText(QRect(110, 30, 480, 60),
                                 html(QStringLiteral("Guild Hall: a Flash banner in a web page"), 22, gold,
                                      QStringLiteral("left"))),
                10);
    // It joins the game room as a web page's movie: only where the game
    // server's socket policy (port 843) grants this site.
    movie.place(movie.defineText(QRect(110, 70, 480, 22), QString(), QStringLiteral("status")), 11);
    movie.place(movie.defineText(QRect(110, 94, 480, 60), QString(), QStringLiteral("room")), 12);
    movie.doAction(gameRoom(host, port, QStringLiteral("waves from the Guild Hall"), 2, 12).stop());
    movie.showFrame();
    return movie.finish();
}

bool write(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size())
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int colon = args.value(4).lastIndexOf(QLatin1Char(':'));
    const QString host = args.value(4).left(colon);
    const int port = args.value(4).mid(colon + 1).toInt();
    if (args.size() != 5 || host.isEmpty() || port <= 0 || port > 65535) {
        std::fprintf(stderr, "usage: %s <game folder> <server root> <partner site folder> <game server host:port>\n",
                     argv[0]);
        return 2;
    }
    const QString game = args.at(1), root = args.at(2), partner = args.at(3);
    QDir().mkpath(game);
    QDir().mkpath(partner);
    return write(game + QStringLiteral("/loader.swf"), loader(root, host, port)) && write(game + QStringLiteral("/battle.swf"), battle())
               && write(partner + QStringLiteral("/banner.swf"), banner(host, port))
           ? 0
           : 1;
}
