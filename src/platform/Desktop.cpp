#include "platform/Desktop.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDesktopServices>
#include <QMimeDatabase>
#include <QUrl>
#include <cstdlib>
#include <memory>

#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"

namespace gv {
namespace {

// The address as the URL the desktop gets.
QUrl listedUrl(const QString& address) {
    const QString text = address.trimmed();
    if (text.startsWith(QLatin1Char('/'))) {
        return QUrl::fromLocalFile(text);
    }
    QUrl url(text, QUrl::TolerantMode);
    if (url.scheme().isEmpty()) {
        // A site stored without its scheme ("www.example.org") is a web address, not a file.
        url = QUrl(QStringLiteral("http://") + text, QUrl::TolerantMode);
    }
    return url;
}

// Kinds of file that the desktop's handler runs rather than shows.
bool isProgramType(const QMimeType& type) {
    static const char* const kPrograms[] = {
        "application/x-executable",  "application/x-pie-executable",
        "application/x-sharedlib",   "application/x-desktop",
        "application/x-shellscript", "application/x-ms-dos-executable",
        "application/x-msdownload",  "application/x-msi",
        "application/vnd.appimage",  "application/x-java-archive",
        "application/java-archive",  "application/x-executable-script"};
    for (const char* name : kPrograms) {
        if (type.inherits(QString::fromLatin1(name))) {
            return true;
        }
    }
    return false;
}

bool fileRunsProgram(const QString& path) {
    const auto isDesktopEntry = [](const QString& p) {
        return p.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive);
    };
    if (isDesktopEntry(path)) {
        return true;
    }
    // A link is judged by the file it leads to, by name, rights and contents.
    const QByteArray bytes = fileNameToBytes(path);
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(bytes.constData(), nullptr),
                                                           &std::free);
    const QString target = real ? fileNameFromBytes(QByteArray(real.get())) : path;
    if (isDesktopEntry(target)) {
        return true;
    }
    const std::optional<struct stat> st = statPath(target);
    if (!st || !S_ISREG(st->st_mode)) {
        return false;  // a folder opens in the file manager; nothing there runs nothing
    }
    if (st->st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) {
        return true;
    }
    QByteArray head(4096, '\0');
    const int fd = openForReadingFd(target);
    if (fd >= 0) {
        const ssize_t got = ::read(fd, head.data(), head.size());
        ::close(fd);
        head.resize(got > 0 ? got : 0);
    } else {
        head.clear();
    }
    const QString name = target.mid(target.lastIndexOf(QLatin1Char('/')) + 1);
    const QMimeDatabase types;
    return isProgramType(types.mimeTypeForFileNameAndData(name, head)) ||
           isProgramType(types.mimeTypeForData(head));
}

}  // namespace

bool openDocument(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    return url.isValid() && QDesktopServices::openUrl(url);
}

bool openLocalFile(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool addressRunsProgram(const QString& address) {
    const QUrl url = listedUrl(address);
    return url.isLocalFile() && fileRunsProgram(url.toLocalFile());
}

OpenOutcome openListedAddress(const QString& address) {
    if (address.trimmed().isEmpty()) {
        return OpenOutcome::NotOpened;
    }
    if (addressRunsProgram(address)) {
        return OpenOutcome::RunsProgram;
    }
    const QUrl url = listedUrl(address);
    return url.isValid() && QDesktopServices::openUrl(url) ? OpenOutcome::Opened
                                                           : OpenOutcome::NotOpened;
}

}  // namespace gv
