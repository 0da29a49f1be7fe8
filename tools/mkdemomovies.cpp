// Writes the demo's Flash movies, the game the demo update server publishes:
//   tarvenholm-demo-movies <game folder> <server root> <partner site folder>
// loader.swf (the crest and buttons whose links try out the client), and
// battle.swf (shows the battle number it is given: "battle.swf?12345") into the
// game folder; banner.swf, a movie inside the partner site's page, into its folder.
#include "swfwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPolygon>

#include <cmath>
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

QByteArray loader(const QString &root)
{
    SwfWriter movie(800, 720);
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
    movie.doAction(AvmCode().stop());
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

QByteArray banner()
{
    SwfWriter movie(600, 120);
    movie.setBackground(QColor(20, 60, 30));
    crest(movie, QPoint(20, 12), 72, 1);
    movie.place(movie.defineText(QRect(110, 30, 480, 60),
                                 html(QStringLiteral("Guild Hall: a Flash banner in a web page"), 22, gold,
                                      QStringLiteral("left"))),
                10);
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
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: %s <game folder> <server root> <partner site folder>\n", argv[0]);
        return 2;
    }
    const QString game = args.at(1), root = args.at(2), partner = args.at(3);
    QDir().mkpath(game);
    QDir().mkpath(partner);
    return write(game + QStringLiteral("/loader.swf"), loader(root)) && write(game + QStringLiteral("/battle.swf"), battle())
               && write(partner + QStringLiteral("/banner.swf"), banner())
           ? 0
           : 1;
}
