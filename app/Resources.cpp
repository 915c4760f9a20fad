#include "Resources.h"

#include <QBitmap>
#include <QGuiApplication>
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
    // Scaled screens get the picture drawn at twice the size, as sharp as the text beside it.
    const bool sharp = qGuiApp->devicePixelRatio() > 1.0;
    QPixmap pixmap(sharp ? QString(path).replace(QStringLiteral(".xpm"), QStringLiteral("@2x.xpm"))
                         : path);
    if (!pixmap.isNull()) {
        pixmap.setMask(pixmap.createMaskFromColor(transparent, Qt::MaskInColor));
        pixmap.setDevicePixelRatio(sharp ? 2.0 : 1.0);
    }
    return pixmap;
}

QIcon ProgramIcon() {
    return QIcon(LoadBitmap(IDR_MAINFRAME, kTransparentColour));
}
