#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that the desktop finds what it needs
# there: the program, a valid desktop entry naming it and its icon, and the README.
# Usage: tests/install/check-install.sh BUILD_FOLDER
set -euo pipefail
build=${1:?build folder}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check-install: $*" >&2; exit 1; }
[[ -x $prefix/bin/sentello ]] || fail "no program in bin"
desktop=$prefix/share/applications/sentello.desktop
[[ -f $desktop ]] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -qx 'Exec=sentello' "$desktop" || fail "the desktop entry does not start sentello"
grep -qx 'Icon=sentello' "$desktop" || fail "the desktop entry names another icon"
icon=$prefix/share/icons/hicolor/256x256/apps/sentello.png
file "$icon" | grep -q 'PNG image data, 256 x 256' || fail "no 256 x 256 icon"
[[ -f $prefix/share/doc/sentello/README.md ]] || fail "no README"
"$prefix/bin/sentello" --help | grep -q -- '--demo' || fail "the installed program does not run"
echo "check-install: all in place under $prefix"
