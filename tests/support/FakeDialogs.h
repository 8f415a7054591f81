#pragma once
// A scripted Dialogs service: records every message, prompt and dialog the program shows
// and answers from queues the test filled.

#include <gtest/gtest.h>

#include <QColor>
#include <QList>
#include <QQueue>
#include <QString>
#include <functional>
#include <QDialog>
#include <optional>

#include "platform/Dialogs.h"

namespace gvtest {

struct ShownMessage {
    QString kind;  // "message", "input", "open", "save", "program", "colour", "folder", "optout"
    QString text;
    gv::MsgButtons buttons = gv::MsgButtons::Ok;
    gv::MsgIcon icon = gv::MsgIcon::None;
    QString title;
    QString filter;
    QString folder;
};

class FakeDialogs final : public gv::Dialogs {
public:
    QList<ShownMessage> shown;
    QQueue<gv::MsgAnswer> messageAnswers;
    QQueue<QString> inputAnswers;
    // The proposed text of each input box, in order.
    QStringList inputDefaults;
    QQueue<std::optional<gv::FileChoice>> fileAnswers;
    QQueue<std::optional<QColor>> colourAnswers;
    QQueue<QString> folderAnswers;
    QQueue<bool> optOutAnswers;
    // Runs when a message is shown (a test can look at the program's state then).
    std::function<void(const ShownMessage&)> onMessage;

    gv::MsgAnswer message(const QString& text, gv::MsgButtons buttons, gv::MsgIcon icon,
                          const QString& title, QWidget* owner) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText,
                  QWidget* owner) override;
    std::optional<gv::FileChoice> openFile(const QString& title, const QString& folder,
                                           const QString& filter, int filterIndex,
                                           QWidget* owner) override;
    std::optional<gv::FileChoice> saveFile(const QString& title, const QString& folder,
                                           const QString& filter, QWidget* owner) override;
    // Answered from fileAnswers too.
    std::optional<gv::FileChoice> program(const QString& title, const QString& prompt,
                                          const QString& folder, QWidget* owner) override;
    std::optional<QColor> colour(const QColor& initial, QWidget* owner) override;
    QString folder(const QString& prompt, QWidget* owner) override;
    bool messageWithOptOut(const QString& text, const QString& title, QWidget* owner) override;
    // Modal windows are handed to the queued scripts, which work the window's controls and
    // return its result; without a script the window is cancelled.
    QQueue<std::function<int(QDialog&)>> modalScripts;
    int execModal(QDialog& dialog) override;

    // Titles of the messages shown, in order.
    QStringList titles() const;

    // What a test expects of the one thing shown; fields left empty are not compared.
    struct Expected {
        QString text{};
        QString title{};
        std::optional<gv::MsgIcon> icon{};
        std::optional<gv::MsgButtons> buttons{};
        QString kind{};
    };
    // Succeeds when exactly one message, prompt or dialog was shown, and it is as expected.
    ::testing::AssertionResult showedOne(const Expected& expected) const;
};

// Installs a FakeDialogs for the lifetime of the object and restores the real service.
class ScopedFakeDialogs {
public:
    ScopedFakeDialogs();
    ~ScopedFakeDialogs();
    FakeDialogs& operator*() { return *m_fake; }
    FakeDialogs* operator->() { return m_fake; }

private:
    FakeDialogs* m_fake;
    std::unique_ptr<gv::Dialogs> m_previous;
};

}  // namespace gvtest
