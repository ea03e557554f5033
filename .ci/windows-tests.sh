#!/usr/bin/env bash
# Windows build: cross-compiles VelmoranDisk.exe and the test suite with mingw-w64 into
# build-win and runs the suite under wine. When a Linux build of the tool exists (folder
# given as $1, default build), the Windows executable must also print the same bytes as the
# Linux one for a few commands on the demo disk image.
# Needs the Debian packages g++-mingw-w64-x86-64 (posix thread model compilers), wine64,
# wine, cmake, make and googletest (the GoogleTest sources in /usr/src/googletest).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build-win
linuxBuild=${1:-build}

for tool in x86_64-w64-mingw32-g++-posix wine cmake; do
  command -v "$tool" >/dev/null || { echo "windows-tests: $tool is missing" >&2; exit 1; }
done
[ -f /usr/src/googletest/CMakeLists.txt ] || { echo "windows-tests: /usr/src/googletest is missing" >&2; exit 1; }

# A wine prefix of our own, without display, without debug chatter and without the
# Mono/Gecko installers that would otherwise ask questions on the first start.
mkdir -p "$build"
export WINEPREFIX="$root/$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
stopWine() { wineserver -k 2>/dev/null || true; }
trap stopWine EXIT

started=$SECONDS
echo "== wine prefix $WINEPREFIX"
wineboot --init >/dev/null 2>&1 || true
wineserver -w

echo "== configure and build ($build)"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
cmake --build "$build" -j2

echo "== tests under wine"
ctest --test-dir "$build" --output-on-failure

echo "== zip of the Windows executable"
(cd "$build" && cpack -G ZIP >/dev/null)
zip=$(ls "$build"/velmorandisk-*-Windows.zip)
contents=$(cmake -E tar tf "$zip")
for file in VelmoranDisk.exe README.md; do
  echo "$contents" | grep -q "/$file\$" || { echo "windows-tests: $file is missing in $zip" >&2; exit 1; }
done
echo "$(basename "$zip"): $(echo "$contents" | grep -v '/$' | tr '\n' ' ')"

if [ -x "$linuxBuild/VelmoranDisk" ] && [ -x "$linuxBuild/MakeDemoDisk" ]; then
  echo "== same output and files as the Linux executable on the demo disk"
  # Each executable works in a folder of its own on its own copy of the demo disk; every
  # command's output and exit status, and in the end every file, must be the same bytes.
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"; stopWine' EXIT
  mkdir "$scratch/linux" "$scratch/windows"
  "$linuxBuild/MakeDemoDisk" "$scratch/linux/demo.img"
  # Recording 7 gets a title in Latin-1 with characters that no file name may hold, so that the
  # names the all commands make are compared too (UTF-16 on Windows, which wine shows as UTF-8).
  perl -e 'my $name = "H\xF6rspiel: Die Schatzinsel?"; $name .= "\0" x (32 - length $name);
           print map { scalar reverse } unpack "(a4)*", $name' |
    dd of="$scratch/linux/demo.img" bs=1 seek=$((5 * 1048576 + 7 * 256)) conv=notrunc status=none
  cp --sparse=always "$scratch/linux/demo.img" "$scratch/windows/demo.img"
  linuxTool=$(cd "$linuxBuild" && pwd)/VelmoranDisk
  windowsTool=$(cd "$build" && pwd)/VelmoranDisk.exe
  failed=0
  # Runs the words with both executables on the image named first; output and status must match.
  compare() {
    local image=$1 words=$2
    # shellcheck disable=SC2086  # the words are split on purpose
    linuxStatus=0; (cd "$scratch/linux" && VELMORAN_DRIVES=$image "$linuxTool" $words >../linux.out) || linuxStatus=$?
    # shellcheck disable=SC2086
    windowsStatus=0; (cd "$scratch/windows" && VELMORAN_DRIVES=$image wine "$windowsTool" $words >../windows.out 2>/dev/null) ||
      windowsStatus=$?
    if cmp -s "$scratch/linux.out" "$scratch/windows.out" && [ "$linuxStatus" = "$windowsStatus" ]; then
      echo "same: $words (exit $linuxStatus, $(wc -c <"$scratch/linux.out") bytes)"
    else
      echo "DIFFERENT: $words (exit $linuxStatus on Linux, $windowsStatus on Windows)"
      cmp "$scratch/linux.out" "$scratch/windows.out" || true
      failed=1
    fi
  }
  for words in "list" "dump 0 40" "dump 100000 20 littlendian" "image" "movie save" "?" "movie save 1" \
               "movie rip 1" "audio rip 0" "movie save all" "movie rip all" "audio rip all" \
               "movie delete 1" "movie load Velmoran_1.vlm" "list" "image save"; do
    compare demo.img "$words"
  done
  # An export of real material: ffmpeg makes it, the demo disk's recording 1 carries it.
  if command -v ffmpeg >/dev/null; then
    ffmpeg -v error -y -f lavfi -i testsrc=size=176x144:duration=2:rate=25 -c:v mpeg2video -bf 2 -f mpeg2video "$scratch/film.m2v"
    ffmpeg -v error -y -f lavfi -i sine=duration=2 -c:a mp2 -f mp2 "$scratch/film.mp2"
    for side in linux windows; do
      "$linuxBuild/MakeDemoDisk" "$scratch/$side/material.img" 48 "$scratch/film.m2v" "$scratch/film.mp2"
    done
    for words in "movie export 1" "audio export 1" "movie export 0" "movie export all" "audio export all"; do
      compare material.img "$words"
    done
  else
    echo "windows-tests: ffmpeg is missing, no export of real material compared" >&2
    failed=1
  fi
  if diff -r -q "$scratch/linux" "$scratch/windows"; then
    echo "same files: $(cd "$scratch/linux" && ls | tr '\n' ' ')"
  else
    failed=1
  fi
  [ "$failed" = 0 ] || exit 1
fi
echo "== Windows build and tests done in $((SECONDS - started)) s"
