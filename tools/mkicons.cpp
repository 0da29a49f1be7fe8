// Writes each image of a Windows icon file as a PNG named by its size:
//   tarvenholm-icons <icon.ico> <output folder>   ->  <folder>/48x48.png, ...
// The application icon is kept once, as the icon file; desktops on Linux take
// the PNGs (installed below share/icons/hicolor/<size>/apps/).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <icon.ico> <output folder>\n", argv[0]);
        return 2;
    }
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);
    int written = 0;
    for (int i = 0; i < reader.imageCount(); ++i) {
        reader.jumpToImage(i);
        const QImage image = reader.read();
        if (image.isNull() || image.width() != image.height())
            continue;
        const QString name = QStringLiteral("%1/%2x%2.png").arg(folder).arg(image.width());
        if (!image.save(name)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
        ++written;
    }
    return written > 0 ? 0 : 1;
}
