#!/usr/bin/env bash
# Renders Vantor's artwork (one SVG per picture) into the files the program
# loads from its Qt resource, and writes the resource list for them.
#
# Usage: render-images.sh SRC_DIR OUT_DIR [ICON_DIR]
#   SRC_DIR   resources/img: <name>.svg per picture, SVG/*.svg served as they are
#   OUT_DIR   receives <name>.png and <name>@2x.png (appico.ico too), src/ and
#             SVG/ copies of the sources, and img.qrc (prefix /img)
#   ICON_DIR  optional: receives hicolor/<N>x<N>/apps/vantor.png and
#             hicolor/scalable/apps/vantor.svg for the Linux desktop
#
# Each picture's 1x size is the width and height written in its SVG, so this
# script keeps no size table of its own. The output is the same bytes on every
# run: rsvg-convert and icotool write no time stamps, and the list is sorted.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 SRC_DIR OUT_DIR [ICON_DIR]" >&2
    exit 2
fi
src=$1
out=$2
icons=${3:-}
export LC_ALL=C  # file order in the list must not depend on the locale

mkdir -p "$out"
# Start from a clean folder so that a picture removed from the sources does not
# linger in the resource.
rm -rf "$out/src" "$out/SVG" "$out/ico"
rm -f "$out"/*.png "$out"/*.ico "$out/img.qrc"
mkdir -p "$out/src" "$out/SVG" "$out/ico"

# 1x from the SVG's own size, 2x rendered anew (never upscaled) for Qt's @2x lookup.
for svg in "$src"/*.svg; do
    name=$(basename "$svg" .svg)
    rsvg-convert -o "$out/$name.png" "$svg"
    rsvg-convert -z 2 -o "$out/$name@2x.png" "$svg"
    cp "$svg" "$out/src/$name.svg"
done
cp "$src"/SVG/*.svg "$out/SVG/"

# The application icon: every size drawn from the same source. icotool rather
# than ImageMagick: it adds nothing but the pictures, so the file is stable.
# The 256 px image goes in as PNG (-r), as usual for that size, which keeps
# the file a third as large.
ico_args=()
for n in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$n" -h "$n" -o "$out/ico/appico-$n.png" "$src/appico.svg"
    if [ "$n" = 256 ]; then ico_args+=(-r); fi
    ico_args+=("$out/ico/appico-$n.png")
done
icotool -c -o "$out/appico.ico" "${ico_args[@]}"
rm -rf "$out/ico"

# The resource list, paths relative to OUT_DIR, so ":/img/<file>".
{
    echo '<!DOCTYPE RCC>'
    echo '<RCC version="1.0">'
    echo '<qresource prefix="/img">'
    (cd "$out" && find . -type f \( -name '*.png' -o -name '*.ico' -o -name '*.svg' \) |
        sed 's|^\./||' | sort | sed 's|.*|  <file>&</file>|')
    echo '</qresource>'
    echo '</RCC>'
} >"$out/img.qrc"

# Desktop icons: the sizes the hicolor theme looks in, and the scalable source.
if [ -n "$icons" ]; then
    rm -rf "$icons/hicolor"
    for n in 16 22 24 32 48 64 128 256; do
        mkdir -p "$icons/hicolor/${n}x$n/apps"
        rsvg-convert -w "$n" -h "$n" -o "$icons/hicolor/${n}x$n/apps/vantor.png" "$src/appico.svg"
    done
    mkdir -p "$icons/hicolor/scalable/apps"
    cp "$src/appico.svg" "$icons/hicolor/scalable/apps/vantor.svg"
fi
