#include "tips/TipsFile.h"

#include <QStringDecoder>
#include <cerrno>

#include "platform/DamagedFiles.h"

namespace gv {
namespace {

QString decodeLine(QByteArrayView line) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(line);
    if (utf8.hasError()) {
        text = QString::fromLatin1(line.data(), line.size());
    }
    return text;
}

void addTip(QStringList& tips, QString tip) {
    if (tip.size() > kMaxTipChars) {
        tip.truncate(kMaxTipChars);
        tip += QChar(0x2026);
    }
    tips.append(tip);
}

// Lines of text already decoded (UTF-16 files).
QStringList splitText(const QString& text) {
    QStringList tips;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            addTip(tips, text.mid(start, std::min<qsizetype>(i - start, kMaxTipChars + 1)));
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        addTip(tips, text.mid(start, std::min<qsizetype>(text.size() - start, kMaxTipChars + 1)));
    }
    return tips;
}

}  // namespace

TipsRead parseTips(QByteArrayView bytes) {
    TipsRead read;
    read.status = TipsRead::Status::Ok;
    read.size = bytes.size();
    const auto startsWith = [&bytes](const char* mark, qsizetype n) {
        return bytes.size() >= n && bytes.first(n) == QByteArrayView(mark, n);
    };
    if (startsWith("\xFF\xFE", 2) || startsWith("\xFE\xFF", 2)) {
        QStringDecoder utf16(startsWith("\xFF\xFE", 2) ? QStringDecoder::Utf16LE
                                                       : QStringDecoder::Utf16BE);
        QString text = utf16.decode(bytes.sliced(2));
        if (text.contains(QChar(0))) {
            read.status = TipsRead::Status::NotText;
            return read;
        }
        read.tips = splitText(text);
        return read;
    }
    if (bytes.contains('\0')) {
        read.status = TipsRead::Status::NotText;
        return read;
    }
    if (startsWith("\xEF\xBB\xBF", 3)) {
        bytes = bytes.sliced(3);
    }
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            // A long line is only decoded as far as it is shown.
            addTip(read.tips, decodeLine(bytes.sliced(
                                  start, std::min<qsizetype>(i - start, kMaxTipChars * 4))));
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < bytes.size()) {
        addTip(read.tips, decodeLine(bytes.sliced(
                              start, std::min<qsizetype>(bytes.size() - start, kMaxTipChars * 4))));
    }
    return read;
}

TipsRead readTipsFile(const QString& path) {
    TipsRead read;
    if (path.isEmpty()) {
        return read;
    }
    BoundedFile file(path, kMaxTipsFileBytes);
    switch (file.state()) {
        case BoundedFile::State::Missing:
        case BoundedFile::State::NotAFile:
            return read;
        case BoundedFile::State::Unreadable:
            read.status = TipsRead::Status::Unreadable;
            read.error = file.error();
            return read;
        case BoundedFile::State::TooLarge:
            read.status = TipsRead::Status::TooLarge;
            read.size = file.info().st_size;
            return read;
        case BoundedFile::State::Readable:
            break;
    }
    const std::optional<QByteArray> bytes = file.readAll();
    if (!bytes) {
        read.status = file.state() == BoundedFile::State::TooLarge ? TipsRead::Status::TooLarge
                                                                   : TipsRead::Status::Unreadable;
        read.size = file.info().st_size;
        read.error = file.error();
        return read;
    }
    return parseTips(*bytes);
}

QString tipsProblemText(const TipsRead& read) {
    const QString name = QString::fromLatin1(kTipsFileName);
    switch (read.status) {
        case TipsRead::Status::Ok:
            return QString();
        case TipsRead::Status::Missing:
            return QStringLiteral("The ") + name + QStringLiteral(" file was not found!? ") +
                   QStringLiteral("\n\n") + QStringLiteral("Make sure the ") + name +
                   QStringLiteral(" is in your Glimvane directory. ") +
                   QStringLiteral("If you are having trouble, please contact support. ");
        case TipsRead::Status::Unreadable:
            return QStringLiteral("The %1 file could not be read (%2).")
                .arg(name, systemErrorText(read.error ? read.error : EIO));
        case TipsRead::Status::TooLarge:
            return QStringLiteral(
                       "The %1 file is too large to be a tips file (%2 bytes; a "
                       "tips file holds at most %3).")
                .arg(name)
                .arg(read.size)
                .arg(kMaxTipsFileBytes);
        case TipsRead::Status::NotText:
            return QStringLiteral(
                       "The %1 file is damaged: it holds NUL bytes, which a text file "
                       "does not.")
                .arg(name);
    }
    return QString();
}

}  // namespace gv
