// The File Types menu: one checkable item per image type, the file list's pattern built from
// the checked ones, and the file's properties.

#include <QAction>
#include <QListWidget>
#include <QMenu>

#include "images/ImageTypeCatalogue.h"
#include "mainwindow/FilePropertiesDialog.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Dialogs.h"
#include "platform/GraphicsMagick.h"
#include "startup/AppState.h"
#include "widgets/ImageBox.h"

namespace gv {

void frmGlimvane::mnuFiletypesSort(bool Loadmnus) {
    if (!Loadmnus) {
        return;
    }
    const auto rows = imageTypeRows();
    QAction* first = mnuFTs[0];
    first->setText(QString(rows[0].caption));
    first->setData(QString(rows[0].pattern));
    first->setCheckable(true);
    first->setChecked(true);
    connect(first, &QAction::triggered, this, [this] { mnuFTs_Click(0, true); });
    for (int i = 1; i < static_cast<int>(rows.size()); ++i) {
        auto* a = new QAction(QString(rows[i].caption), this);
        a->setObjectName(QStringLiteral("mnuFTs_%1").arg(i));
        a->setData(QString(rows[i].pattern));
        a->setCheckable(true);
        a->setChecked(true);
        mnuFT->insertAction(mnuFTsEnd, a);
        connect(a, &QAction::triggered, this, [this, i] { mnuFTs_Click(i, true); });
        mnuFTs << a;
    }
    // Whether PCX files can be read is known only once GraphicsMagick is loaded, which waits
    // for the first look at this menu or the first PCX file.
    connect(mnuFT, &QMenu::aboutToShow, this, [this] {
        if (!m_pcxChecked) {
            CheckPCXSupport();
        }
    });
}

QString frmGlimvane::SetPattern() const {
    QString pattern;
    for (const QAction* a : mnuFTs) {
        if (a->isChecked()) {
            pattern += a->data().toString();
        }
    }
    pattern.chop(1);
    return pattern;
}

bool frmGlimvane::CheckPCXSupport() {
    m_pcxChecked = true;
    m_pcxSupported = pcxDecoderAvailable();
    if (!m_pcxSupported && mnuFTs.size() > kPcxTypeIndex) {
        mnuFTs[kPcxTypeIndex]->setChecked(false);
        mnuFTs[kPcxTypeIndex]->setVisible(false);
        setFilePattern(SetPattern());
        return false;
    }
    return true;
}

void frmGlimvane::mnuFTs_Click(int index, bool markFlipped) {
    // A click on the menu has flipped the mark already; a call from code flips it here.
    QAction* a = mnuFTs.value(index);
    if (!a) {
        return;
    }
    if (!markFlipped) {
        a->setChecked(!a->isChecked());
    }
    setFilePattern(SetPattern());
    mnuClose_Click();
    appState().CurrentImagePath.clear();
}

void frmGlimvane::mnuImages_Click() {
    for (QAction* a : mnuFTs) {
        if (a->isVisible()) {
            a->setChecked(true);
        }
    }
    setFilePattern(SetPattern());
}

void frmGlimvane::mnuProp_Click() {
    const QString path = appState().CurrentImagePath;
    if (path.isEmpty()) {
        return;
    }
    FilePropertiesDialog dialog(path, Image1->picture(), this);
    dialogs().execModal(dialog);
}

}  // namespace gv
