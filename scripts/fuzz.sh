#!/usr/bin/env bash
# Builds one of the fuzzers with clang's libFuzzer (and AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a while: no crash, no leak, no hang.
# Usage: scripts/fuzz.sh settingsfile|credential|sounddecoding|modulerendering|avifile [seconds] [folder]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
target=${1:?settingsfile, credential, sounddecoding, modulerendering or avifile}
seconds=${2:-20}
out=${3:-$top/build-fuzz}
mkdir -p "$out"

case $target in
  settingsfile)
    part=settings
    sources=("$top/src/settings/settingsfile.cpp" "$top/src/settings/settingswriter.cpp"
             "$top/src/settings/utf8.cpp" "$top/src/settings/wholefile.cpp")
    libraries=(-pthread $(pkg-config --cflags --libs Qt6Core)) ;;
  credential)
    part=settings
    sources=("$top/src/settings/credentialscrambling.cpp" "$top/src/settings/storedtext.cpp"
             "$top/src/settings/utf8.cpp")
    libraries=(-lcrypto $(pkg-config --cflags --libs Qt6Core)) ;;
  sounddecoding)
    part=media; sources=("$top/src/media/sounddecoding.cpp" "$top/src/media/mediafile.cpp")
    libraries=(-lvorbisfile -lvorbis -logg -lFLAC) ;;
  modulerendering)
    part=media; sources=("$top/src/media/modulerendering.cpp"); libraries=(-lmodplug) ;;
  avifile)
    part=detection; sources=("$top/src/detection/avifile.cpp"); libraries=() ;;
  *) echo "unknown fuzzer: $target" >&2; exit 2 ;;
esac

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$top/src" "$top/tests/$part/fuzz/${target}_fuzzer.cpp" "${sources[@]}" \
  "${libraries[@]}" -o "$out/${target}_fuzzer"

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
if [[ $target == sounddecoding ]]; then
  # 16-bit stereo at 8 kHz, a "LIST" chunk between format and data, 8 sample frames.
  printf 'RIFF\x50\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x40\x1f\x00\x00'\
'\x00\x7d\x00\x00\x04\x00\x10\x00LIST\x04\x00\x00\x00INFOdata\x20\x00\x00\x00' >"$corpus/wav"
  for _ in 1 2 3 4 5 6 7 8; do printf '\x00\x10\x00\xf0' >>"$corpus/wav"; done
  # The same sound compressed, where the tools are there, so both decoders are reached.
  if command -v flac >/dev/null; then
    flac --silent -o "$corpus/flac" "$corpus/wav" || true
  fi
  if command -v oggenc >/dev/null; then
    oggenc --quiet -o "$corpus/ogg" "$corpus/wav" || true
  fi
elif [[ $target == avifile ]]; then
  # Short clips as the recorder writes them, finished, cut off, and with the header the muxer
  # writes at their start, in both compressions, with and without sound.
  for kind in "jpegenc" "avenc_mpeg4 pass=quant quantizer=5 gop-size=3"; do
    name=$(echo "$kind" | cut -c1-4)
    for sound in 0 1; do
      extra=()
      if [[ $sound == 1 ]]; then
        extra=(audiotestsrc num-buffers=6 samplesperbuffer=441 ! audio/x-raw,format=S16LE,rate=11025,channels=1 ! mux.)
      fi
      # $kind is the encoder with its properties, word by word.
      gst-launch-1.0 -q videotestsrc num-buffers=6 ! video/x-raw,width=16,height=16,framerate=25/1 \
        ! $kind ! avimux name=mux ! filesink location="$corpus/$name$sound" "${extra[@]}" || true
    done
  done
  /usr/bin/python3 - "$corpus" <<'AVI'
import os, struct, sys
for name in os.listdir(sys.argv[1]):
    clip = bytearray(open(os.path.join(sys.argv[1], name), "rb").read())
    movi = clip.find(b"movi") - 8
    if movi < 0:
        continue
    clip[4:8] = struct.pack("<I", movi + 4)
    clip[movi + 4:movi + 8] = struct.pack("<I", 4)
    cut = bytes(clip[:clip.find(b"idx1")])
    open(os.path.join(sys.argv[1], name + "-unfinished"), "wb").write(cut)
    open(os.path.join(sys.argv[1], name + "-cut"), "wb").write(cut[:len(cut) - 37])
AVI
elif [[ $target == modulerendering ]]; then
  # A four-channel MOD: one square-wave sample, one pattern that plays it on each channel.
  /usr/bin/python3 - "$corpus/mod" <<'MOD'
import struct, sys
sample = bytes([64] * 16 + [192] * 16) * 8
header = b"sentello".ljust(20, b"\0")
header += b"square".ljust(22, b"\0") + struct.pack(">HbBHH", len(sample) // 2, 0, 64, 0, len(sample) // 2)
header += b"\0" * 30 * 30
header += bytes([1, 127]) + bytes(128) + b"M.K."
note = struct.pack(">BBBB", 0x01, 0xAC, 0x10, 0x00)  # period 428 (0x1AC), sample 1
pattern = (note * 4 + b"\0" * 12 * 4 * 3) * 16
open(sys.argv[1], "wb").write(header + pattern + sample)
MOD
  # A text that libmodplug reads as ABC music notation.
  printf 'K:te' >"$corpus/abc"
else
  printf '[Optionen]\r\nvideolaenge = 12abc\r\n; note\r\n' >"$corpus/plain"
  printf '\xEF\xBB\xBF[optionen]\nsounddatei=/home/j\xC3\xBCrgen\n' >"$corpus/utf8"
  printf 'AAECAwQFBgcICQoLDA0ODw==' >"$corpus/base64"
fi

# Leaks inside the third-party libraries (libmodplug's ABC loader) are theirs, not ours; the
# suppressions name functions, which only whole stacks show.
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export ASAN_OPTIONS="fast_unwind_on_malloc=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
# The same inputs on every run, so a finding is reproducible rather than left to chance;
# FUZZ_SEED=0 lets libFuzzer choose.
# Inputs that fail are kept beside the fuzzer, never in the working folder.
"$out/${target}_fuzzer" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
  -seed="${FUZZ_SEED:-1}" -artifact_prefix="$out/${target}-" -print_final_stats=1 "$corpus"
