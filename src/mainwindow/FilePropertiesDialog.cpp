#include "mainwindow/FilePropertiesDialog.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>
#include <vector>

#include "images/Decoder.h"
#include "images/ImageTypeCatalogue.h"
#include "images/Picture.h"
#include "platform/FileNameBytes.h"

namespace gv {
namespace {

QString permissionsText(mode_t mode) {
    QString s;
    const std::pair<mode_t, char> bits[] = {{S_IRUSR, 'r'}, {S_IWUSR, 'w'}, {S_IXUSR, 'x'},
                                            {S_IRGRP, 'r'}, {S_IWGRP, 'w'}, {S_IXGRP, 'x'},
                                            {S_IROTH, 'r'}, {S_IWOTH, 'w'}, {S_IXOTH, 'x'}};
    for (const auto& [bit, c] : bits) {
        s += (mode & bit) ? QLatin1Char(c) : QLatin1Char('-');
    }
    return s;
}

QDateTime timeOf(const struct statx_timestamp& t) {
    return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
}

QString ownerName(uid_t uid) {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        return QString::fromLocal8Bit(found->pw_name);
    }
    return QString::number(uid);
}

}  // namespace

FilePropertiesDialog::FilePropertiesDialog(const QString& path, const Picture& picture,
                                           QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmProperties"));
    // The file is asked by the bytes of its name; the names are shown as text.
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString fileName = fileNameForDisplay(path.mid(slash + 1));
    const QString folder = fileNameForDisplay(slash <= 0 ? QStringLiteral("/") : path.left(slash));
    struct statx info {};
    const bool known = ::statx(AT_FDCWD, fileNameToBytes(path).constData(), 0,
                               STATX_BASIC_STATS | STATX_BTIME, &info) == 0;
    setWindowTitle(fileName + QStringLiteral(" Properties"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const QLocale locale;
    auto add = [this, form](const QString& label, const QString& value) {
        auto* v = new QLabel(value, this);
        v->setObjectName(QStringLiteral("prop_") + label);
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        v->setAccessibleName(label);
        form->addRow(label + QLatin1Char(':'), v);
    };
    add(QStringLiteral("Name"), fileName);
    add(QStringLiteral("Folder"), folder);
    const QString key = typeKey(path);
    const QString type = ftypeText(key, key == QStringLiteral("gif") && gifIs87a(path));
    add(QStringLiteral("Type"),
        type.isEmpty()
            ? QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).comment()
            : type);
    const qint64 size = known ? qint64(info.stx_size) : 0;
    add(QStringLiteral("Size"),
        locale.formattedDataSize(size) + QStringLiteral(" (%1 bytes)").arg(locale.toString(size)));
    if (!picture.isNull()) {
        add(QStringLiteral("Dimensions"), QStringLiteral("%1 x %2 pixels")
                                              .arg(picture.sizePixels().width())
                                              .arg(picture.sizePixels().height()));
    }
    if (known) {
        add(QStringLiteral("Modified"),
            locale.toString(timeOf(info.stx_mtime), QLocale::LongFormat));
        add(QStringLiteral("Accessed"),
            locale.toString(timeOf(info.stx_atime), QLocale::LongFormat));
        if (info.stx_mask & STATX_BTIME) {
            add(QStringLiteral("Created"),
                locale.toString(timeOf(info.stx_btime), QLocale::LongFormat));
        }
        add(QStringLiteral("Permissions"), permissionsText(info.stx_mode));
        add(QStringLiteral("Owner"), ownerName(info.stx_uid));
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString FilePropertiesDialog::field(const QString& label) const {
    const auto* l = findChild<QLabel*>(QStringLiteral("prop_") + label);
    return l ? l->text() : QString();
}

}  // namespace gv
