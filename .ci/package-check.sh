#!/usr/bin/env bash
# Packages of a Linux build (folder $1, default build): the Debian package is made, installed
# into a scratch root and must hold the tool, which runs there, and its manual page.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

(cd "$build" && cpack -G DEB >/dev/null 2>&1) || { echo "package-check: cpack failed" >&2; exit 1; }
package=$(ls "$build"/velmorandisk_*.deb)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The scratch root has no libraries: their dependencies are the host's.
dpkg --root="$root" --force-depends --force-not-root -i "$package" >/dev/null 2>&1 ||
  { echo "package-check: dpkg cannot install $package" >&2; exit 1; }
for file in usr/bin/VelmoranDisk usr/share/man/man1/VelmoranDisk.1.gz usr/share/doc/velmorandisk/README.md; do
  [ -f "$root/$file" ] || { echo "package-check: $file is missing in $package" >&2; exit 1; }
done
status=0
"$root/usr/bin/VelmoranDisk" >/dev/null || status=$?
[ "$status" = 1 ] || { echo "package-check: the installed tool did not print its help (exit $status)" >&2; exit 1; }
gzip -dc "$root/usr/share/man/man1/VelmoranDisk.1.gz" | grep -q '^\.SH EXIT STATUS' ||
  { echo "package-check: the manual page is not readable" >&2; exit 1; }
echo "package-check: $(basename "$package") installs the tool and its manual page"
