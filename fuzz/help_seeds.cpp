// Writes the seed corpus of the help fuzzer: the help file the build compiled and the HTML it
// is made of, each behind the byte that tells the fuzzer what it is.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdio>

namespace {

bool write(const QString& path, char kind, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(QByteArray(1, kind) + bytes) == bytes.size() + 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder.path());
    QFile chm(QStringLiteral("build/gv23hlp.chm"));
    if (chm.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = chm.readAll();
        if (!write(folder.filePath(QStringLiteral("help.chm")), 0, bytes) ||
            !write(folder.filePath(QStringLiteral("cut.chm")), 0, bytes.left(bytes.size() / 3))) {
            return 1;
        }
    } else {
        std::fprintf(stderr, "no build/gv23hlp.chm: build first for the container seeds\n");
    }
    const QStringList html =
        QDir(QStringLiteral("help"))
            .entryList({QStringLiteral("*.hhc"), QStringLiteral("*.hhk"),
                        QStringLiteral("index.htm"), QStringLiteral("keys.htm")});
    for (const QString& name : html) {
        QFile f(QStringLiteral("help/") + name);
        if (!f.open(QIODevice::ReadOnly) ||
            !write(folder.filePath(name + QStringLiteral(".seed")), 1, f.readAll())) {
            return 1;
        }
    }
    return 0;
}
