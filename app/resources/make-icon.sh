#!/bin/sh
# Redraws icon.png (a pedal with a download arrow) with ImageMagick. The PNG is
# committed, so this runs only when the drawing changes.
set -e
cd "$(dirname "$0")"
convert -size 512x512 xc:none \
    -fill '#00000055' -draw 'roundrectangle 108,52 420,484 44,44' -blur 0x6 \
    -fill '#b3262d' -stroke '#5c1014' -strokewidth 10 -draw 'roundrectangle 96,36 416,470 40,40' \
    -stroke none -fill '#d9434a' -draw 'roundrectangle 112,52 400,150 28,28' \
    -fill '#2b2b2b' -stroke '#111111' -strokewidth 4 \
        -draw 'circle 176,100 176,134' -draw 'circle 336,100 336,134' \
    -stroke '#f2f2f2' -strokewidth 8 -draw 'line 176,100 176,72' -draw 'line 336,100 360,80' \
    -stroke none -fill '#ffffff' \
        -draw 'rectangle 226,168 286,262' \
        -draw 'polygon 186,256 326,256 256,338' \
    -fill '#c8c8c8' -stroke '#6e6e6e' -strokewidth 6 -draw 'circle 256,412 256,446' \
    -fill '#e8e8e8' -stroke none -draw 'circle 256,408 256,430' \
    -fill '#ffd23f' -draw 'circle 256,374 256,382' \
    PNG32:icon.png
