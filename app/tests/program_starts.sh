#!/usr/bin/env bash
# The program starts, reads its language file and keeps its window up until it is stopped: a
# crash or an early exit at start-up fails. Its settings go to a folder of this run's own.
set -u
program=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home XDG_CONFIG_HOME=$home/.config QT_QPA_PLATFORM=offscreen timeout 5 "$program"
status=$?
if [ "$status" -ne 124 ]; then
    echo "orvanta ended on its own with status $status during its first 5 seconds" >&2
    exit 1
fi
