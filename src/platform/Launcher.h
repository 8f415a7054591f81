#pragma once
// Starts other programs (sibling programs, external editors) detached, with an argument
// list and never through a shell.

#include <QString>
#include <QStringList>

namespace gv {

bool launchDetached(const QString& program, const QStringList& arguments = {});

}  // namespace gv
