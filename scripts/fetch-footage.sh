#!/usr/bin/env bash
# Puts footage of people walking in a courtyard (768 × 576, 10 pictures a second, 79.5 s) at
# the path given: vtest.avi of Debian's opencv-doc package, fetched with apt-get download and
# unpacked without installing it. Nothing is done when the file is already there.
set -euo pipefail
target=$1
checksum=45cddc9490be69345cbdab64ca583be65987e864ca408038e648db99e10516cf
if [[ -f $target ]] && echo "$checksum  $target" | sha256sum --check --status; then
  exit 0
fi
mkdir -p "$(dirname "$target")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
if ! apt-get download opencv-doc >/dev/null 2>&1; then
  # A machine whose package lists were never fetched knows no package yet.
  ((EUID == 0)) && apt-get update -q >/dev/null
  apt-get download opencv-doc >/dev/null
fi
dpkg-deb --fsys-tarfile opencv-doc_*.deb |
  tar -x --to-stdout ./usr/share/doc/opencv-doc/examples/data/vtest.avi >vtest.avi
echo "$checksum  vtest.avi" | sha256sum --check --status
# Renamed into place, so that tests fetching it at the same time never see half of it.
mv vtest.avi "$target.$$"
mv "$target.$$" "$target"
