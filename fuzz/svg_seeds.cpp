// Writes the seed corpus of the SVG fuzzer: drawings with shapes, paths, text, gradients,
// references inside the drawing and to files, entities, transforms, and a compressed one.

#include <zlib.h>

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
    const char* head = R"svg(<svg xmlns="http://www.w3.org/2000/svg" )svg"
                       R"(xmlns:xlink="http://www.w3.org/1999/xlink" width="40" height="30">)";
    const QList<QByteArray> bodies = {
        R"svg(<rect x="2" y="2" width="20" height="10" fill="red" stroke="blue"/>)svg",
        R"svg(<circle cx="20" cy="15" r="9" fill="url(#g)"/><defs><linearGradient id="g">)svg"
        R"svg(<stop offset="0" stop-color="#f00"/><stop offset="1" stop-color="#00f"/>)svg"
        R"svg(</linearGradient></defs>)svg",
        R"svg(<path d="M1 1 L30 5 Q 20 20 5 25 C 1 1 9 9 30 28 z" fill-rule="evenodd"/>)svg",
        R"svg(<g transform="rotate(30) scale(1.5)"><text x="2" y="20" font-size="9">Hi</text></g>)svg",
        R"svg(<defs><g id="a"><rect width="4" height="4"/></g></defs><use xlink:href="#a" x="5"/>)svg",
        R"svg(<image width="10" height="10" xlink:href="/etc/passwd"/>)svg",
        R"svg(<polygon points="1,1 30,2 15,28" opacity="0.5"/><polyline points="0,0 5,9 9,3"/>)svg",
    };
    int n = 0;
    auto write = [&](const QByteArray& bytes) {
        QFile f(QDir(folder).filePath(QString("seed%1.svg").arg(n++)));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    for (const QByteArray& body : bodies) {
        write(QByteArray(head) + body + "</svg>");
    }
    write(R"(<?xml version="1.0"?><!DOCTYPE svg [<!ENTITY e "<rect width='3' height='3'/>">]>)" +
          QByteArray(head) + "&e;</svg>");
    write(
        R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 10 5"><ellipse rx="3" ry="2"/></svg>)");
    const QByteArray plain = QByteArray(head) + bodies[0] + "</svg>";
    QByteArray packed(1024, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = uInt(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = uInt(packed.size());
    deflate(&z, Z_FINISH);
    packed.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return write(packed) ? 0 : 1;
}
