#pragma once
// The program's own pictures: the icon resources and the toolbar and panel pictures, drawn in
// code at whatever size they are shown; the logo, the splash picture and the program's icon,
// bitmaps built into the program.

#include <QByteArrayView>
#include <QIcon>
#include <QImage>
#include <QPixmap>

class QAbstractFileIconProvider;
class QStyle;

namespace gv {

// Icon resources: 101 Best Fit shown, 102 Actual Size shown, 103 folder tree,
// 104 favourites list, 105 tile mode.
QIcon iconResource(int id);
// The logo, the toolbar logo and the splash picture are made for the screen's device pixel
// ratio: their logical size (QPixmap::deviceIndependentSize) is the same on every screen.
// The logo bitmap (bitmap resource 102) shown in the view when no image is loaded.
QPixmap logoBitmap();
// The small logo at the right end of the toolbar row.
QPixmap toolbarLogo();
QPixmap splashPicture();
// Pictures of the toolbar buttons 0 to 9 and of the panel's soft buttons.
QIcon toolbarIcon(int index);
enum class PanelGlyph { Close, Refresh, Dock, Delete, Copy, Move, Rename, Folder, Favourite, Search };
QIcon panelIcon(PanelGlyph glyph);
QIcon applicationIcon();
// Which of the stored sizes of the built-in bitmaps (1x or 2x) suits a device pixel ratio.
int builtInPictureScale(qreal devicePixelRatio);

// A built-in bitmap as stored: its width and height (32-bit big-endian), then runs of equal
// pixels, each a count (16-bit little-endian, at least 1) and one premultiplied ARGB pixel
// (32-bit little-endian). Null when the size is out of range or the runs do not cover the
// picture exactly.
QImage decodePixelRuns(QByteArrayView data);

// Icons for the folder tree, which holds only drives and folders: our own folder icon, without
// the look-ups in the desktop's icon theme and MIME database that the default provider makes
// for each entry (loading those costs more than opening the main window).
QAbstractFileIconProvider* folderTreeIcons();

// The application's style: the platform's own, with the menu bar's overflow arrow drawn by us.
// Qt reads that arrow from image files whose type it finds by trying every image plugin, which
// alone costs a tenth of the start-up.
QStyle* applicationStyle();

}  // namespace gv
