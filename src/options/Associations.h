#pragma once
// File-type associations with undo. Glimvane becomes the program the desktop opens an image
// type with by naming its own desktop entry (glimvane.desktop, in the user's applications
// folder) as the type's default in the user's mimeapps.list, and gives the type back by
// putting back the line it replaced there: that line is the undo data, kept in the settings.
// "Associated" means the desktop's default for the type is glimvane.desktop.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

#include "settings/SettingKeys.h"

class QWidget;

namespace gv {

struct AssociationType {
    const char* checkBox;       // the options dialog's check box
    const char* caption;        // its caption
    const char* toolTip;        // its tool tip, or ""
    const char* code;           // "BMP"
    const char* extension;      // ".bmp"
    const char* className;      // "Bitmap"
    const char* description;    // "Bitmap"
    const char* mimeType;       // the freedesktop type(s) of the extension, space-separated
    const SettingKey& setting;  // code + "assc": the user asked for the association
};

// The thirteen original types, then the formats phones, the web and cameras write now, in the
// order the options dialog applies them.
inline constexpr int kAssociationTypeCount = 20;
extern const AssociationType kAssociationTypes[kAssociationTypeCount];
// The freedesktop types one check box stands for (camera raw files have one per maker).
QList<QByteArray> mimeTypesOf(const AssociationType& type);
// The type whose setting this is, or nothing.
const AssociationType* associationTypeOf(const SettingKey& setting);

class FileTypeAssociations final {
public:
    // Messages go over owner. One object serves one pass over the types: a problem with the
    // list file is reported once, not once per type.
    explicit FileTypeAssociations(QWidget* owner = nullptr);

    bool IsTypeAssociated(const AssociationType& type);
    // Applies the check box: stores the user's wish, then associates the type (recording
    // its earlier default as the undo data) or gives it back from the undo data.
    void SetFileTypeAssociation(bool checked, const AssociationType& type);
    // The same for a wish already stored (the options dialog stores all its settings in one
    // write).
    void ApplyStoredWish(bool checked, const AssociationType& type);
    // At start-up, for a type the user asked for: Glimvane's entry is brought up to date, and
    // a type another program has taken since is taken back, that program becoming the undo.
    void Reassert(const AssociationType& type);

private:
    enum class Outcome { Done, Failed, FileProblem };
    Outcome associate(const AssociationType& type, const QString& id, bool recordUndo);
    Outcome restore(const AssociationType& type);
    void chooseAnotherProgram(const AssociationType& type);
    bool writeOwnEntry();
    // Applies edit to the user's mimeapps.list, reading again when another program changed
    // the file meanwhile. edit returns nothing to leave the file alone.
    Outcome editList(const std::function<std::optional<QByteArray>(const QByteArray&)>& edit);
    void report(const QString& file, const QString& problem);
    QString defaultFor(const QByteArray& mimeType);

    QWidget* m_owner;
    bool m_reported = false;
    bool m_entryWritten = false;
    // The entries that open each type, where no list names a default; read when first needed.
    std::optional<QHash<QString, QString>> m_entriesByType;
};

}  // namespace gv
