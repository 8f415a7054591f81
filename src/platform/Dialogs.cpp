#include "platform/Dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "platform/MessageWindow.h"

namespace gv {
namespace {

QMessageBox::StandardButtons toQt(MsgButtons b) {
    switch (b) {
        case MsgButtons::Ok:
            return QMessageBox::Ok;
        case MsgButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MsgButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MsgButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MsgButtons::YesToAllNoCancel:
            return QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon toQt(MsgIcon i) {
    switch (i) {
        case MsgIcon::None:
            return QMessageBox::NoIcon;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

QWidget* ownerOr(QWidget* owner) {
    return owner ? owner : QApplication::activeWindow();
}

class QtDialogs final : public Dialogs {
public:
    MsgAnswer message(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                      QWidget* owner) override {
        // A file name that is not UTF-8 shows its odd bytes as the replacement character.
        QMessageBox box(toQt(icon), fileNameForDisplay(title), fileNameForDisplay(text),
                        toQt(buttons), ownerOr(owner));
        box.setObjectName(QStringLiteral("MessageBox"));
        switch (box.exec()) {
            case QMessageBox::Yes:
                return MsgAnswer::Yes;
            case QMessageBox::YesToAll:
                return MsgAnswer::YesToAll;
            case QMessageBox::No:
                return MsgAnswer::No;
            case QMessageBox::Cancel:
                return MsgAnswer::Cancel;
            case QMessageBox::Ok:
                return MsgAnswer::Ok;
            default:
                // Closing the box with Escape or the title bar counts as its cancel button.
                return buttons == MsgButtons::YesNo ? MsgAnswer::No
                       : buttons == MsgButtons::Ok  ? MsgAnswer::Ok
                                                    : MsgAnswer::Cancel;
        }
    }

    QString input(const QString& prompt, const QString& title, const QString& defaultText,
                  QWidget* owner) override {
        bool ok = false;
        const QString text = QInputDialog::getText(ownerOr(owner), title, prompt, QLineEdit::Normal,
                                                   defaultText, &ok);
        return ok ? text : QString();
    }

    std::optional<FileChoice> openFile(const QString& title, const QString& folder,
                                       const QString& filter, int filterIndex,
                                       QWidget* owner) override {
        const QStringList filters = qtNameFilters(filter);
        QString selected = filters.value(filterIndex - 1);
        const QString path =
            QFileDialog::getOpenFileName(ownerOr(owner), title, fileNameForDisplay(folder),
                                         filters.join(QStringLiteral(";;")), &selected);
        return choiceOf(path, static_cast<int>(filters.indexOf(selected)) + 1, owner);
    }

    std::optional<FileChoice> saveFile(const QString& title, const QString& folder,
                                       const QString& filter, QWidget* owner) override {
        const QStringList filters = qtNameFilters(filter);
        QString selected = filters.value(0);
        // The program appends its own default extension, so the dialog must not.
        const QString path = QFileDialog::getSaveFileName(
            ownerOr(owner), title, fileNameForDisplay(folder), filters.join(QStringLiteral(";;")),
            &selected, QFileDialog::DontConfirmOverwrite);
        return choiceOf(path, static_cast<int>(filters.indexOf(selected)) + 1, owner);
    }

    std::optional<FileChoice> program(const QString& title, const QString& prompt,
                                      const QString& folder, QWidget* owner) override {
        // Qt's own dialog, which has room for the prompt under its file list.
        QFileDialog dialog(ownerOr(owner), title, fileNameForDisplay(folder));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(
            {QStringLiteral("Applications (*.desktop)"), QStringLiteral("All files (*)")});
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* label = new QLabel(prompt, &dialog);
            label->setWordWrap(true);
            grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return choiceOf(dialog.selectedFiles().constFirst(), 1, owner);
    }

    std::optional<QColor> colour(const QColor& initial, QWidget* owner) override {
        const QColor c = QColorDialog::getColor(initial, ownerOr(owner));
        if (!c.isValid()) {
            return std::nullopt;
        }
        return c;
    }

    QString folder(const QString& prompt, QWidget* owner) override {
        const QString shown = QFileDialog::getExistingDirectory(ownerOr(owner), prompt);
        if (shown.isEmpty()) {
            return shown;
        }
        const std::optional<QString> path = resolvedOrSaid(shown, owner);
        return path ? *path : QString();
    }

    bool messageWithOptOut(const QString& text, const QString& title, QWidget* owner) override {
        MessageWindow window(ownerOr(owner));
        return window.ShowMessage(text, title);
    }

    int execModal(QDialog& dialog) override { return dialog.exec(); }

private:
    // The dialog shows names that are not UTF-8 with U+FFFD: the choice is found again by the
    // bytes of its names, and where two names look the same the user is told.
    std::optional<QString> resolvedOrSaid(const QString& shown, QWidget* owner) {
        if (std::optional<QString> path = resolveShownPath(shown)) {
            return path;
        }
        message(QStringLiteral("Glimvane cannot tell which item was chosen: \"%1\" has a name "
                               "that looks the same as another one beside it. Rename one of "
                               "them and try again.")
                    .arg(shown),
                MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Glimvane"), owner);
        return std::nullopt;
    }

    std::optional<FileChoice> choiceOf(const QString& shown, int filterIndex, QWidget* owner) {
        if (shown.isEmpty()) {
            return std::nullopt;
        }
        const std::optional<QString> path = resolvedOrSaid(shown, owner);
        if (!path) {
            return std::nullopt;
        }
        return FileChoice{*path, path->mid(path->lastIndexOf(QLatin1Char('/')) + 1), filterIndex};
    }
};

std::unique_ptr<Dialogs>& slot() {
    static std::unique_ptr<Dialogs> current = std::make_unique<QtDialogs>();
    return current;
}

}  // namespace

Dialogs& dialogs() {
    return *slot();
}

std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> replacement) {
    std::unique_ptr<Dialogs> previous = std::move(slot());
    slot() = replacement ? std::move(replacement) : std::make_unique<QtDialogs>();
    return previous;
}

QStringList qtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString desc = parts[i];
        // "Jpeg (*.jpg)" already names its pattern; Qt reads the part in brackets.
        if (desc.contains(QLatin1Char('(')) && desc.endsWith(QLatin1Char(')'))) {
            result << desc.left(desc.lastIndexOf(QLatin1Char('('))).trimmed() +
                          QStringLiteral(" (") + patterns.trimmed() + QLatin1Char(')');
        } else {
            result << desc + QStringLiteral(" (") + patterns.trimmed() + QLatin1Char(')');
        }
    }
    return result;
}

}  // namespace gv
