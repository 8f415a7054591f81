#pragma once
// Every message box, prompt and standard dialog of the program goes through this service,
// so that tests can script the answers and check what the user was shown.

#include <QColor>
#include <QString>
#include <memory>
#include <optional>

class QDialog;
class QWidget;

namespace gv {

inline constexpr const char* kProgramTitle = "Glimvane";

// YesToAllNoCancel: Yes, Yes to All, No and Cancel (the question before replacing a file).
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, YesToAllNoCancel };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgAnswer { Ok, Cancel, Yes, No, YesToAll };

struct FileChoice {
    QString path;         // full path of the chosen file
    QString fileName;     // its name without the folder
    int filterIndex = 1;  // 1-based entry of the filter that was chosen
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual MsgAnswer message(const QString& text, MsgButtons buttons, MsgIcon icon,
                              const QString& title = QString::fromLatin1(kProgramTitle),
                              QWidget* owner = nullptr) = 0;
    // Returns the typed text, or an empty string on Cancel.
    virtual QString input(const QString& prompt, const QString& title,
                          const QString& defaultText, QWidget* owner = nullptr) = 0;
    // Filters are written "Description|pattern;pattern|Description|pattern".
    virtual std::optional<FileChoice> openFile(const QString& title, const QString& folder,
                                               const QString& filter, int filterIndex,
                                               QWidget* owner = nullptr) = 0;
    virtual std::optional<FileChoice> saveFile(const QString& title, const QString& folder,
                                               const QString& filter,
                                               QWidget* owner = nullptr) = 0;
    // A program to open files with: a desktop entry (or another file) chosen in a file dialog
    // that starts in folder and shows the prompt above its buttons. Nothing on Cancel.
    virtual std::optional<FileChoice> program(const QString& title, const QString& prompt,
                                              const QString& folder, QWidget* owner = nullptr) = 0;
    virtual std::optional<QColor> colour(const QColor& initial, QWidget* owner = nullptr) = 0;
    // The chosen folder, or an empty string on Cancel.
    virtual QString folder(const QString& prompt, QWidget* owner = nullptr) = 0;
    // A message window with a "Do not show this message again" box; returns whether it
    // was ticked when the user closed the window.
    virtual bool messageWithOptOut(const QString& text, const QString& title,
                                   QWidget* owner = nullptr) = 0;
    // Runs one of the program's own modal windows; returns its QDialog result code.
    virtual int execModal(QDialog& dialog) = 0;
};

Dialogs& dialogs();
// Replaces the service (tests install a scripted one); returns the previous one.
std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> replacement);

// Turns "Desc|*.a;*.b|Other|*.c" into the name-filter list of a file dialog.
QStringList qtNameFilters(const QString& filter);

}  // namespace gv
