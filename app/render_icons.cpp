// Build tool: draws the program icon into <folder>/<N>x<N>/apps/novelreader.png for every size of
// the desktop's icon theme, so the installed icon is the program's own picture.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "app/images.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    // Drawing needs no display; the offscreen platform keeps the tool working on a build machine.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : novel::kProgramIconSizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + QStringLiteral("/novelreader.png");
        if (!QDir().mkpath(folder) || !novel::programIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
