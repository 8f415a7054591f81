// Writes the seed corpus of the EPS fuzzer: plain PostScript and DOS EPS files with each kind
// of section, built here so that the seeds need no other sources.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <cstdio>

namespace {

const QByteArray kPostScript =
    "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 64 48\n%%EndComments\n"
    "1 0 0 setrgbcolor 0 0 32 24 rectfill\nshowpage\n%%EOF\n";

QByteArray dosEps(const QByteArray& ps, const QByteArray& wmf, const QByteArray& tiff) {
    QByteArray out("\xC5\xD0\xD3\xC6", 4);
    quint32 offset = 30;
    for (const QByteArray* section : {&ps, &wmf, &tiff}) {
        char field[8];
        qToLittleEndian<quint32>(section->isEmpty() ? 0 : offset, field);
        qToLittleEndian<quint32>(static_cast<quint32>(section->size()), field + 4);
        out.append(field, 8);
        offset += static_cast<quint32>(section->size());
    }
    out.append("\xFF\xFF", 2);
    return out + ps + wmf + tiff;
}

bool save(const QString& folder, const QString& name, const QByteArray& bytes) {
    QFile file(QDir(folder).filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const QByteArray tiff("II*\0\x08\0\0\0", 8);
    const QByteArray wmf("\xD7\xCD\xC6\x9A\0\0\0\0\0\0\x40\x01\xF0\0\xA0\x05\0\0\0\0\0\0", 22);
    const bool ok = save(folder, "plain.eps", kPostScript) &&
                    save(folder, "atend.eps", "%!PS\n%%BoundingBox: (atend)\n%%Trailer\n") &&
                    save(folder, "ps-only.eps", dosEps(kPostScript, {}, {})) &&
                    save(folder, "tiff.eps", dosEps(kPostScript, {}, tiff)) &&
                    save(folder, "wmf.eps", dosEps(kPostScript, wmf, {})) &&
                    save(folder, "header.eps", dosEps({}, {}, {}));
    return ok ? 0 : 1;
}
