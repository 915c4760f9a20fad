#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

// The program's pictures, addressed by the resource numbers the windows were designed with.
enum ResourceId : int {
    IDR_MAINFRAME = 128, // program icon
    IDB_PREVIOUS = 129,  // arrow on the Previous button
    IDB_NEXT = 130,      // arrow on the Next button
    IDB_TAB_IMPORT = 135,
    IDB_TAB_EDIT = 136,
    IDB_TAB_SAVE = 138,
};

// Magenta marks the transparent pixels of every bitmap.
inline const QColor kTransparentColour{255, 0, 255};

// The bitmap with `transparent` pixels cleared; a null pixmap for an unknown id.
QPixmap LoadBitmap(int resourceId, const QColor& transparent);
QIcon ProgramIcon();
