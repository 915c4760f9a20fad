#include "Resources.h"

#include <QBitmap>
#include <QString>

namespace {

QString ResourcePath(int resourceId) {
    switch (resourceId) {
    case IDR_MAINFRAME:
        return QStringLiteral(":/images/orvanta.xpm");
    case IDB_PREVIOUS:
        return QStringLiteral(":/images/previous.xpm");
    case IDB_NEXT:
        return QStringLiteral(":/images/next.xpm");
    case IDB_TAB_IMPORT:
        return QStringLiteral(":/images/tab_import.xpm");
    case IDB_TAB_EDIT:
        return QStringLiteral(":/images/tab_edit.xpm");
    case IDB_TAB_SAVE:
        return QStringLiteral(":/images/tab_save.xpm");
    default:
        return {};
    }
}

} // namespace

QPixmap LoadBitmap(int resourceId, const QColor& transparent) {
    const QString path = ResourcePath(resourceId);
    if (path.isEmpty()) {
        return {};
    }
    QPixmap pixmap(path);
    if (!pixmap.isNull()) {
        pixmap.setMask(pixmap.createMaskFromColor(transparent, Qt::MaskInColor));
    }
    return pixmap;
}

QIcon ProgramIcon() {
    return QIcon(LoadBitmap(IDR_MAINFRAME, kTransparentColour));
}
