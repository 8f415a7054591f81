#pragma once
// The properties of a file: name, folder, size, dates, permissions, type and, for an image,
// its dimensions.

#include <QDialog>

namespace gv {

class Picture;

class FilePropertiesDialog final : public QDialog {
    Q_OBJECT
public:
    FilePropertiesDialog(const QString& path, const Picture& picture, QWidget* parent = nullptr);
    // The shown value of a field ("Name", "Folder", "Size", ...), for tests and accessibility.
    QString field(const QString& label) const;
};

}  // namespace gv
