#pragma once
// The full-screen viewer: one picture over the whole monitor of the main window, stepped
// through the folder with the mouse buttons, with a MiniBrowser sliding in from the left edge
// and a menu bar that appears at the top edge.

#include <QDialog>
#include <QList>
#include <QRect>
#include <QString>
#include <functional>

#include "images/DecodeWhileAnswering.h"
#include "images/Picture.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollBar;
class QTimer;

namespace gv {

class MiniBrowser;
class PrefetchCache;
class ImageBox;
class ViewArea;

// What the main window hands the viewer when it opens it.
struct FullScreenStart {
    Picture picture;  // shown as it is: no file is read
    QString imagePath;
    QString folder;
    QString pattern;
    QString selectedName;  // the file chosen in the main window's file list, if any
    QRect screen;          // the monitor that holds the main window
};

// What the viewer asks of the main window while it is open.
struct FullScreenHost {
    // The main window's folder follows the viewer's.
    std::function<void(const QString& folder)> folderChanged;
    // The main window's Favourites menu, popped up over the MiniBrowser's lists.
    QMenu* favouritesMenu = nullptr;
    std::function<void()> showHelp;
    std::function<void()> showAbout;
    // The main window's decode-ahead cache, shared so that stepping on in full screen finds
    // the next picture decoded.
    std::weak_ptr<PrefetchCache> cache;
};

class frmFullscn final : public QDialog {
    Q_OBJECT
public:
    frmFullscn(const FullScreenStart& start, FullScreenHost host, QWidget* parent = nullptr);
    ~frmFullscn() override;

    // Clears the check mark of the seven colour items.
    void ColReset();
    // A navigation click: button 1 previous, 2 next.
    void Navigate(int button);
    // The viewer's folder (the MiniBrowser's folder list), and a change of it from outside.
    QString folder() const;
    void setFolder(const QString& folder);
    const Picture& picture() const;
    // Pictures read so far (each load replaces any that waited for it).
    int loadsRun() const { return m_loadsRun; }
    QString shownPath() const;

    // Controls, by their names, for the program's tests and accessibility.
    ViewArea* Picture1 = nullptr;
    ImageBox* Image1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QLabel* Label1 = nullptr;
    QTimer* Tim = nullptr;
    MiniBrowser* Frame1 = nullptr;
    QLabel* Image3 = nullptr;
    QWidget* lblMiniOn = nullptr;
    QWidget* lblMiniOff = nullptr;
    QWidget* Label2 = nullptr;
    QWidget* Label4 = nullptr;
    QMenuBar* menuBar = nullptr;
    QMenu *mnuOptions = nullptr, *mnuHelp = nullptr, *mnuIcon = nullptr, *mnuBackCol = nullptr;
    QList<QAction*> colourItems;  // mnuBBlack .. mnuBYellow
    QAction *mnuInfo = nullptr, *mnuExit = nullptr, *mnuContents = nullptr, *mnuAbout = nullptr,
            *mnuExit2 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void placeStrips();
    void applyColour(int index, bool store);
    void applyInfo(bool shown, bool store);
    void showMiniBrowser(bool shown);
    void showMenuBar(bool shown);
    void layoutPicture();
    void placeIcon();
    void loadRow(int row);
    void loadPending();
    void prefetchAhead(int row);
    void closeViewer();

    FullScreenHost m_host;
    QRect m_screen;
    QString m_shownPath;
    // Clicks faster than the pictures load replace the one load waiting to run.
    QTimer* m_loadTimer = nullptr;
    int m_pendingRow = -1;
    int m_direction = 1;
    int m_loadsRun = 0;
    // The loads of pictures in progress: only the newest is shown.
    LoadTickets m_loads;
    int m_barThickness = 13;
    int m_stepX = 7;
    int m_stepY = 7;
};

}  // namespace gv
