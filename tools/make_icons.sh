#!/usr/bin/env bash
# Renders the program icon dist/icons/orvanta.svg into the PNG sizes of the hicolor theme
# (dist/icons/SIZE/orvanta.png). Run after changing the SVG and commit the PNGs: the build
# installs them as they are and needs no renderer. Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
icons=$(cd "$(dirname "${BASH_SOURCE[0]}")/../dist/icons" && pwd)
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$icons/$size"
    rsvg-convert --width "$size" --height "$size" "$icons/orvanta.svg" -o "$icons/$size/orvanta.png"
done
