#pragma once
// The seed corpus of a fuzz target of the phone and web formats: small pictures written by the
// format's own encoder (from its package, as the tests use it), in the variants it offers.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace gvfuzz {

// Each seed: its name and the encoder's command line, with IN and OUT where the files go.
inline int writePhotoSeeds(int argc, char** argv, const QList<std::pair<QString, QStringList>>& seeds) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QTemporaryDir scratch;
    QImage picture(24, 16, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, qRgba(x * 10, y * 15, (x * y) % 256, x < 4 ? 128 : 255));
        }
    }
    const QString in = scratch.filePath(QStringLiteral("in.png"));
    picture.save(in);
    int written = 0;
    for (const auto& [name, command] : seeds) {
        QStringList arguments = command;
        const QString program = arguments.takeFirst();
        arguments.replaceInStrings(QStringLiteral("IN"), in);
        arguments.replaceInStrings(QStringLiteral("OUT"), folder + QLatin1Char('/') + name);
        QProcess p;
        p.start(program, arguments);
        written += p.waitForFinished(60000) && p.exitCode() == 0 ? 1 : 0;
    }
    std::printf("%d of %lld seeds written\n", written, static_cast<long long>(seeds.size()));
    return 0;
}

}  // namespace gvfuzz
