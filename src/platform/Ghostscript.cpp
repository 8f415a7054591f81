#include "platform/Ghostscript.h"

#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace gv {
namespace {

QString ghostscriptProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("gs"));
}

bool fail(QString* error, const QString& reason) {
    if (error) {
        *error = reason;
    }
    return false;
}

}  // namespace

bool ghostscriptAvailable() {
    return !ghostscriptProgram().isEmpty();
}

std::optional<QImage> renderEpsWithGhostscript(const QByteArray& eps, int dpi, int timeoutMs,
                                               int allocationLimitMb, QString* error) {
    const QString program = ghostscriptProgram();
    if (program.isEmpty()) {
        fail(error, QStringLiteral("Ghostscript is not installed"));
        return std::nullopt;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) {
        fail(error, dir.errorString());
        return std::nullopt;
    }
    // An uncompressed page: compressing it for PNG cost Ghostscript more than the drawing did
    // (processor time for a page at 192 dpi: 0.24 s against 0.09 s), and it is read back at once.
    const QString out = dir.filePath(QStringLiteral("page.ppm"));
    const QString in = dir.filePath(QStringLiteral("page.eps"));
    {
        QFile copy(in);
        if (!copy.open(QIODevice::WriteOnly) || copy.write(eps) != eps.size() || !copy.flush()) {
            fail(error, copy.errorString());
            return std::nullopt;
        }
    }
    QProcess gs;
    gs.setProcessChannelMode(QProcess::MergedChannels);
    gs.start(program,
             {QStringLiteral("-dSAFER"), QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"),
              QStringLiteral("-dQUIET"), QStringLiteral("-sDEVICE=ppmraw"),
              QStringLiteral("-dEPSCrop"), QStringLiteral("-dLastPage=1"),
              QStringLiteral("-r%1").arg(dpi), QStringLiteral("-sOutputFile=") + out, in});
    if (!gs.waitForStarted(timeoutMs)) {
        fail(error, gs.errorString());
        return std::nullopt;
    }
    if (!gs.waitForFinished(timeoutMs)) {
        gs.kill();
        gs.waitForFinished(1000);
        fail(error, QStringLiteral("Ghostscript did not finish in time"));
        return std::nullopt;
    }
    const QByteArray messages = gs.readAll();
    if (gs.exitStatus() != QProcess::NormalExit || gs.exitCode() != 0) {
        fail(error, QStringLiteral("Ghostscript failed: ") +
                        QString::fromLocal8Bit(messages.left(500)).trimmed());
        return std::nullopt;
    }
    QImageReader reader(out, "ppm");
    reader.setAllocationLimit(allocationLimitMb);
    QImage image = reader.read();
    if (image.isNull()) {
        fail(error, reader.errorString());
        return std::nullopt;
    }
    return image;
}

}  // namespace gv
