#!/usr/bin/env bash
# Fails when libpxmisc.so exports anything but its public classes: every defined dynamic
# symbol must belong to one of them (members, vtables, type information).
set -euo pipefail
library=$1
public='ISubject|IObserver|ObserverEntry|ITimerPX|CTimer|Domvine::[A-Za-z_]+|CFileSpec|CFileFinder|CPath|CMiscFunc|GenericHTTPClient|CInstanceChecker'
allowed="^((non-virtual thunk to |virtual thunk to )?($public)::|(typeinfo|typeinfo name|vtable) for ($public)(::.*)?\$)"
strays=$(nm -D --defined-only -C "$library" | awk '$2 ~ /^[TWVDBRi]$/ { $1 = ""; $2 = ""; sub(/^  /, ""); print }' |
    grep -Ev "$allowed" || true)
if [ -n "$strays" ]; then
    echo "libpxmisc.so exports symbols outside its public classes:"
    echo "$strays"
    exit 1
fi
echo "libpxmisc.so exports only its public classes"
