// The recovery program: when Glimvane has hidden itself (during a capture) and cannot be
// reached, the user runs this. It records itself in the settings store; the waiting
// Glimvane notices, closes this window and shows itself again.

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/Artwork.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glimvane Recover"));
    QApplication::setWindowIcon(gv::applicationIcon());

    QWidget window;
    window.setObjectName(QStringLiteral("frmRecover"));
    window.setWindowTitle(QStringLiteral("Glimvane Recover"));
    auto* layout = new QVBoxLayout(&window);
    auto* text = new QLabel(QStringLiteral("Recovering Glimvane..."), &window);
    text->setObjectName(QStringLiteral("lblRecover"));
    layout->addWidget(text);
    window.resize(280, 80);
    window.show();

    // In one write: a Glimvane that sees the request also sees which window to close.
    gv::ChangeSettings(
        QString::fromLatin1(gv::keys::kGvRec.application),
        QString::fromLatin1(gv::keys::kGvRec.section),
        {{QString::fromLatin1(gv::keys::kGvRecHwnd.key), QString::number(window.winId())},
         {QString::fromLatin1(gv::keys::kGvRec.key), QStringLiteral("1")}});
    return QApplication::exec();
}
