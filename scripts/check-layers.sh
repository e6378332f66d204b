#!/usr/bin/env bash
# Fails when a source includes a header of a layer above its own, when GStreamer is included or
# linked outside the media layer, or Qt's Widgets outside the app layer and the program's main.
# The layers, lowest first: settings, detection, then media and outputs side by side, then app.
# An include counts in every form a compiler could find it by: from the including file's folder,
# from src/ (the include folder) and from the top of the tree, with "." and ".." worked out.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

declare -A allowed=(
  [settings]="settings"
  [detection]="detection settings"
  [media]="media detection settings"
  [outputs]="outputs detection settings"
  [app]="app media outputs detection settings"
  [program]="app media outputs detection settings"
)

# Qt's Widgets headers: those of its folders (QtWidgets, QtOpenGLWidgets) that no other module
# has as well; Qt 6 keeps headers such as qaction.h in QtWidgets for classes that moved to QtGui.
qt_headers=$(pkg-config --variable=includedir Qt6Widgets 2>/dev/null || true)
if [[ ! -d $qt_headers/QtWidgets ]]; then
  echo "check-layers: Qt's Widgets headers not found (pkg-config Qt6Widgets)" >&2
  exit 1
fi
declare -A widgets=()
for header in "$qt_headers"/Qt*Widgets/*; do
  widgets[${header##*/}]=1
done
for header in "$qt_headers"/Qt*/*; do
  [[ $header == "$qt_headers"/Qt*Widgets/* ]] || unset "widgets[${header##*/}]"
done

# Sets `resolved` to PATH (relative to the top) with "." and ".." worked out; fails where it
# leaves the top.
normalise() {
  local part split parts=()
  IFS=/ read -ra split <<<"$1"
  for part in "${split[@]}"; do
    case $part in
      "" | .) ;;
      ..)
        ((${#parts[@]} > 0)) || return 1
        unset 'parts[-1]'
        ;;
      *) parts+=("$part") ;;
    esac
  done
  local IFS=/
  resolved="${parts[*]}"
}

status=0
complain() {
  echo "$1" >&2
  status=1
}

# A folder below src/ is a layer, or its sources would go unchecked.
for dir in src/*/; do
  dir=${dir%/}
  name=${dir#src/}
  [[ $name != program && -n ${allowed[$name]+set} ]] || complain "$dir/: no layer"
done

# Includes: FILE:LINE:the directive, for every source below src/; those directly in src/ are
# the program's.
while IFS=: read -r file line directive; do
  relative=${file#src/}
  if [[ $relative == */* ]]; then
    layer=${relative%%/*}
  else
    layer=program
  fi
  [[ -n ${allowed[$layer]+set} ]] || continue
  path=${directive#*[<\"]}
  path=${path%%[>\"]*}

  for candidate in "${file%/*}/$path" "src/$path" "$path"; do
    normalise "$candidate" || continue
    [[ $resolved == src/*/* ]] || continue
    target=${resolved#src/}
    target=${target%%/*}
    if [[ -n ${allowed[$target]+set} && $target != program &&
      " ${allowed[$layer]} " != *" $target "* ]]; then
      complain "$file:$line: the $layer layer includes the $target layer: $directive"
      break
    fi
  done

  if [[ $layer != media && $path =~ (^|/)gst/ ]]; then
    complain "$file:$line: only the media layer includes GStreamer: $directive"
  fi
  if [[ $layer != app && $layer != program ]] &&
    [[ $path =~ (^|/)Qt[A-Za-z]*Widgets(/|$) || ($path != */* && -n ${widgets[$path]+set}) ]]; then
    complain "$file:$line: only the app layer includes Qt's Widgets: $directive"
  fi
done < <(find src -type f ! -name CMakeLists.txt -print0 | sort -z |
  xargs -0 grep -HnE '^[[:space:]]*#[[:space:]]*include(_next)?[[:space:]]*[<"][^>"]*[>"]' || true)

# Links: a layer's CMakeLists.txt, and the program's.
while IFS=: read -r file line text; do
  dir=${file%/CMakeLists.txt}
  layer=${dir#src}
  layer=${layer#/}
  layer=${layer%%/*}
  [[ -n $layer ]] || layer=program
  if [[ $layer != media && $text =~ PkgConfig::GST|gstreamer-[a-z]*-?1\.0 ]]; then
    complain "$file:$line: only the media layer links GStreamer: $text"
  fi
  if [[ $layer != app && $layer != program && $text =~ Qt[0-9]*::[A-Za-z]*Widgets ]]; then
    complain "$file:$line: only the app layer links Qt's Widgets: $text"
  fi
done < <(find src -name CMakeLists.txt -print0 | sort -z |
  xargs -0 grep -HnE 'PkgConfig::GST|gstreamer-|Qt[0-9]*::[A-Za-z]*Widgets' || true)

((status == 0)) && echo "every layer includes only the layers below it"
exit "$status"
