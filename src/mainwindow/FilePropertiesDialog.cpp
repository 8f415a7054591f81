#include "mainwindow/FilePropertiesDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>

#include "images/Decoder.h"
#include "images/ImageTypeCatalogue.h"
#include "images/Picture.h"

namespace gv {
namespace {

QString permissionsText(QFile::Permissions p) {
    QString s;
    const std::pair<QFile::Permission, char> bits[] = {
        {QFile::ReadOwner, 'r'}, {QFile::WriteOwner, 'w'}, {QFile::ExeOwner, 'x'},
        {QFile::ReadGroup, 'r'}, {QFile::WriteGroup, 'w'}, {QFile::ExeGroup, 'x'},
        {QFile::ReadOther, 'r'}, {QFile::WriteOther, 'w'}, {QFile::ExeOther, 'x'}};
    for (const auto& [bit, c] : bits) {
        s += (p & bit) ? QLatin1Char(c) : QLatin1Char('-');
    }
    return s;
}

}  // namespace

FilePropertiesDialog::FilePropertiesDialog(const QString& path, const Picture& picture,
                                           QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmProperties"));
    const QFileInfo info(path);
    setWindowTitle(info.fileName() + QStringLiteral(" Properties"));
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
    add(QStringLiteral("Name"), info.fileName());
    add(QStringLiteral("Folder"), info.absolutePath());
    const QString key = typeKey(path);
    const QString type = ftypeText(key, key == QStringLiteral("gif") && gifIs87a(path));
    add(QStringLiteral("Type"), type.isEmpty()
                                    ? QMimeDatabase().mimeTypeForFile(info).comment()
                                    : type);
    add(QStringLiteral("Size"), locale.formattedDataSize(info.size()) +
                                    QStringLiteral(" (%1 bytes)").arg(locale.toString(info.size())));
    if (!picture.isNull()) {
        add(QStringLiteral("Dimensions"), QStringLiteral("%1 x %2 pixels")
                                              .arg(picture.sizePixels().width())
                                              .arg(picture.sizePixels().height()));
    }
    add(QStringLiteral("Modified"), locale.toString(info.lastModified(), QLocale::LongFormat));
    add(QStringLiteral("Accessed"), locale.toString(info.lastRead(), QLocale::LongFormat));
    const QDateTime born = info.birthTime();
    if (born.isValid()) {
        add(QStringLiteral("Created"), locale.toString(born, QLocale::LongFormat));
    }
    add(QStringLiteral("Permissions"), permissionsText(info.permissions()));
    add(QStringLiteral("Owner"), info.owner());
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
