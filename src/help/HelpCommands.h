#pragma once
// The help and read-me commands of the program's windows, with the messages they give when a
// file is missing.

#include <QtGlobal>

class QWidget;

namespace gv {

class clsHelp;

inline constexpr const char* kHelpFileName = "gv23hlp.chm";
inline constexpr const char* kReadMeFileName = "Readme.txt";

// "Help Contents": the help file of the program's folder at its contents.
void ShowHelpContents(clsHelp& help, QWidget* owner = nullptr);
// A window's Help button: the topic of the context number, in the "popup" window type.
void ShowHelpTopic(clsHelp& help, quint32 context, QWidget* owner = nullptr);
// "ReadMe": the read-me of the program's folder in the desktop's viewer for text files.
void ShowReadMe(QWidget* owner = nullptr);

}  // namespace gv
