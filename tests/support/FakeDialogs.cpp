#include "support/FakeDialogs.h"

namespace gvtest {

gv::MsgAnswer FakeDialogs::message(const QString& text, gv::MsgButtons buttons,
                                   gv::MsgIcon icon, const QString& title, QWidget*) {
    ShownMessage m{QStringLiteral("message"), text, buttons, icon, title, {}, {}};
    shown << m;
    if (onMessage) {
        onMessage(m);
    }
    if (!messageAnswers.isEmpty()) {
        return messageAnswers.dequeue();
    }
    // Unscripted: the answer that changes least.
    switch (buttons) {
        case gv::MsgButtons::Ok: return gv::MsgAnswer::Ok;
        case gv::MsgButtons::YesNo: return gv::MsgAnswer::No;
        default: return gv::MsgAnswer::Cancel;
    }
}

QString FakeDialogs::input(const QString& prompt, const QString& title,
                           const QString& defaultText, QWidget*) {
    shown << ShownMessage{QStringLiteral("input"), prompt, {}, {}, title, {}, {}};
    inputDefaults << defaultText;
    return inputAnswers.isEmpty() ? QString() : inputAnswers.dequeue();
}

std::optional<gv::FileChoice> FakeDialogs::openFile(const QString& title, const QString& folder,
                                                    const QString& filter, int, QWidget*) {
    shown << ShownMessage{QStringLiteral("open"), {}, {}, {}, title, filter, folder};
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
}

std::optional<gv::FileChoice> FakeDialogs::saveFile(const QString& title, const QString& folder,
                                                    const QString& filter, QWidget*) {
    shown << ShownMessage{QStringLiteral("save"), {}, {}, {}, title, filter, folder};
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
}

std::optional<gv::FileChoice> FakeDialogs::program(const QString& title, const QString& prompt,
                                                   const QString& folder, QWidget*) {
    shown << ShownMessage{QStringLiteral("program"), prompt, {}, {}, title, {}, folder};
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
}

std::optional<QColor> FakeDialogs::colour(const QColor&, QWidget*) {
    shown << ShownMessage{QStringLiteral("colour"), {}, {}, {}, {}, {}, {}};
    return colourAnswers.isEmpty() ? std::nullopt : colourAnswers.dequeue();
}

QString FakeDialogs::folder(const QString& prompt, QWidget*) {
    shown << ShownMessage{QStringLiteral("folder"), prompt, {}, {}, {}, {}, {}};
    return folderAnswers.isEmpty() ? QString() : folderAnswers.dequeue();
}

bool FakeDialogs::messageWithOptOut(const QString& text, const QString& title, QWidget*) {
    ShownMessage m{QStringLiteral("optout"), text, gv::MsgButtons::Ok, gv::MsgIcon::None,
                   title, {}, {}};
    shown << m;
    if (onMessage) {
        onMessage(m);
    }
    return optOutAnswers.isEmpty() ? false : optOutAnswers.dequeue();
}

int FakeDialogs::execModal(QDialog& dialog) {
    shown << ShownMessage{QStringLiteral("modal"), {}, {}, {}, dialog.windowTitle(), {}, {}};
    if (modalScripts.isEmpty()) {
        dialog.reject();
        return QDialog::Rejected;
    }
    const int result = modalScripts.dequeue()(dialog);
    dialog.done(result);
    return result;
}

QStringList FakeDialogs::titles() const {
    QStringList t;
    for (const ShownMessage& m : shown) {
        t << m.title;
    }
    return t;
}

::testing::AssertionResult FakeDialogs::showedOne(const Expected& e) const {
    const bool matches = shown.size() == 1 && (e.text.isNull() || shown[0].text == e.text) &&
                         (e.title.isNull() || shown[0].title == e.title) &&
                         (!e.icon || shown[0].icon == *e.icon) &&
                         (!e.buttons || shown[0].buttons == *e.buttons) &&
                         (e.kind.isNull() || shown[0].kind == e.kind);
    if (matches) {
        return ::testing::AssertionSuccess();
    }
    auto failure = ::testing::AssertionFailure() << shown.size() << " shown:";
    for (const ShownMessage& m : shown) {
        failure << "\n  " << m.kind.toStdString() << " \"" << m.title.toStdString() << "\": \""
                << m.text.toStdString() << "\" icon " << int(m.icon) << " buttons "
                << int(m.buttons);
    }
    return failure;
}

ScopedFakeDialogs::ScopedFakeDialogs() {
    auto fake = std::make_unique<FakeDialogs>();
    m_fake = fake.get();
    m_previous = gv::setDialogs(std::move(fake));
}

ScopedFakeDialogs::~ScopedFakeDialogs() {
    gv::setDialogs(std::move(m_previous));
}

}  // namespace gvtest
