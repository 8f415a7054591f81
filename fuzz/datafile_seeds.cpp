// Writes the seed corpus of the data-file fuzzer: lines of each kind the reader meets.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const QByteArray seeds[] = {
        "C:\\Tools\\paint.exe<name>My Paint Program\r\n",
        "a.exe<name>A\r\n   \r\nb.exe<NAME>B\r\n",
        "x<name>  \r\n <name>y\nt<name>m<NaMe>n\rcaf\xc3\xa9<name>\x80\xe9\r\n",
        QByteArray("a<name>A\r\nb\0<name>B\r\nno marker\r\n", 34),
    };
    int n = 0;
    for (const QByteArray& seed : seeds) {
        QFile f(QDir(folder).filePath(QStringLiteral("seed%1.dat").arg(n++)));
        if (!f.open(QIODevice::WriteOnly) || f.write(seed) != seed.size()) {
            return 1;
        }
    }
    return 0;
}
