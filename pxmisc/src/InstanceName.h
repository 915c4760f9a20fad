#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <string>

// The file name part under which the first copy serves `name`: the name itself when it is short
// and made of plain characters, else its hash, so that a display such as
// "/run/user/1000/wayland-0" stays one file name and the socket's path fits sun_path (107 bytes
// and a terminator) below any folder of up to 52 bytes.
inline std::string InstanceFileStem(const char* name) {
    const QByteArray base(name != nullptr ? name : "");
    // Both kinds of stem keep the socket's file name within 55 bytes.
    constexpr qsizetype maxStemBytes = 32;
    const bool plain =
        base.size() <= maxStemBytes && std::all_of(base.begin(), base.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-' || c == '.' || c == '@' || c == ':';
        });
    const QByteArray stem =
        plain
            ? base
            : QCryptographicHash::hash(base, QCryptographicHash::Sha256).toHex().left(maxStemBytes);
    return "pxmisc-instance-" + stem.toStdString();
}

// The local socket on which the first copy serves `name`, in the private runtime folder
// `folder` (ending with "/").
inline std::string InstanceSocketPath(const std::string& folder, const char* name) {
    return folder + InstanceFileStem(name) + ".socket";
}

// The file the first copy keeps locked while it serves `name`: the proof that the socket is
// alive, since a socket file outlives a killed copy.
inline std::string InstanceLockPath(const std::string& folder, const char* name) {
    return folder + InstanceFileStem(name) + ".lock";
}
