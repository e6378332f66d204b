#!/usr/bin/env bash
# Draws Sentello's logo (the About window's picture, 600 x 240, 8-bit RGB, not interlaced) and
# its desktop icon (256 x 256) with ImageMagick and the DejaVu fonts, into assets/.
set -euo pipefail
assets=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/assets
convert=/usr/bin/convert

# The motif: a camera lens. Sets the array `lens` for centre x, centre y and a scale in tenths.
make_lens() {
  local x=$1 y=$2 s=$3
  lens=(-fill none -stroke '#9fd3ff' -strokewidth $((6 * s / 10))
    -draw "circle $x,$y $x,$((y - 70 * s / 10))"
    -fill '#12324c' -stroke '#5fb0ea' -strokewidth $((4 * s / 10))
    -draw "circle $x,$y $x,$((y - 48 * s / 10))"
    -fill '#0a1a28' -stroke none -draw "circle $x,$y $x,$((y - 28 * s / 10))"
    -fill '#e33b3b' -draw "circle $x,$y $x,$((y - 10 * s / 10))"
    -fill '#ffffff'
    -draw "circle $((x - 14 * s / 10)),$((y - 14 * s / 10)) $((x - 14 * s / 10)),$((y - 20 * s / 10))")
}

make_lens 120 110 10
$convert -size 600x240 gradient:'#0b2740'-'#1d5d8c' \
  -fill '#0e3350' -draw "rectangle 0,190 600,240" "${lens[@]}" \
  -stroke none -fill '#ffffff' -font DejaVu-Sans-Bold -pointsize 64 -annotate +230+140 'Sentello' \
  -fill '#9fd3ff' -font DejaVu-Sans -pointsize 16 -annotate +236+170 \
  'Webcam-Wächter für den Linux-Desktop' \
  -depth 8 -type TrueColor -interlace none "PNG24:$assets/logo.png"

make_lens 128 128 12
$convert -size 256x256 xc:none -fill '#15476e' -draw "roundrectangle 8,8 248,248 40,40" \
  "${lens[@]}" -depth 8 "PNG32:$assets/sentello.png"
