#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <sys/types.h>

// The abstract socket name under which the first copy run by `uid` serves `name`. The leading
// "/" keeps Qt from resolving the name against the temp folder, which differs between sessions.
// An abstract name has to fit sun_path (107 bytes after its leading zero), so long names are
// replaced by their hash.
inline QString InstanceSocketName(const char* name, uid_t uid) {
    QByteArray base(name != nullptr ? name : "");
    constexpr qsizetype maxPlainBytes = 64;
    if (base.size() > maxPlainBytes) {
        base = QCryptographicHash::hash(base, QCryptographicHash::Sha256).toHex();
    }
    return QStringLiteral("/pxmisc-instance/%1/").arg(uid) + QString::fromUtf8(base);
}
