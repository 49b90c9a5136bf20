#!/usr/bin/env bash
# Builds the Debian packages from the build folder ($1) with cpack ($2), unpacks velkar_*.deb into a
# scratch folder, runs the unpacked navigator headless on its own demo (velkar --demo), and checks both
# packages with lintian: errors fail the test, warnings are listed.
set -euo pipefail
build="$1" cpack="$2"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/velkar-package.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && "$cpack" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
  { cat "$scratch/cpack.log"; fail "cpack could not build the packages"; }
navigator=$(ls "$scratch"/out/velkar_*.deb 2>/dev/null | head -n1)
[ -n "$navigator" ] || fail "no velkar_*.deb among: $(ls "$scratch/out")"

# Dependencies come from dpkg-shlibdeps: the Qt and sound libraries are named, GDAL is not.
depends="$(dpkg-deb -f "$navigator" Depends)"
for library in libqt6widgets6 libasound2 libsndfile1 qt6-qpa-plugins; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
grep -q gdal <<<"$depends" && fail "the navigator's package depends on GDAL: $depends"

dpkg -x "$navigator" "$scratch/root"
for file in usr/bin/velkar usr/bin/velkar-nmea usr/share/applications/velkar.desktop \
            usr/share/icons/hicolor/scalable/apps/velkar.svg usr/share/man/man1/velkar.1.gz \
            "usr/share/velkar/demo/My Documents/Velkar/vlcfg.cfg" usr/share/doc/velkar/copyright; do
  [ -e "$scratch/root/$file" ] || fail "the package lacks $file"
done
! command -v desktop-file-validate >/dev/null || desktop-file-validate "$scratch/root/usr/share/applications/velkar.desktop"

# The unpacked navigator finds its demo beside itself, copies it to a scratch folder and runs on it:
# emulation, a map under the position, a track-log line after ten ticks.
mkdir "$scratch/tmp"
TMPDIR="$scratch/tmp" timeout 120 "$scratch/root/usr/bin/velkar" --demo --screenshot "$scratch/shot.png" \
  --time-scale 30 --quit-after-ticks 11 || fail "velkar --demo ended with $?"
copy=$(ls -d "$scratch"/tmp/velkar-demo.* | head -n1)
[ -d "$copy" ] || fail "velkar --demo made no scratch copy"
grep -q '^44\.348733;11\.71' "$copy/Scheda di memoria/GpsLog.txt" || fail "no track-log line in the demo copy"
[ -s "$scratch/shot.png" ] || fail "no screenshot"
if command -v convert >/dev/null; then  # a view without a map is white but for its texts, circle and arrow
  white=$(convert "$scratch/shot.png" -fill black +opaque white -format '%[fx:mean]' info:)
  awk -v w="$white" 'BEGIN { exit !(w < 0.5) }' || fail "the view shows no map ($white of it is white)"
fi

# lintian: errors fail the test, warnings are listed for the record.
if command -v lintian >/dev/null; then
  for deb in "$scratch"/out/*.deb; do
    { lintian --tag-display-limit 0 "$deb" 2>&1 || true; } | sed "s|^|$(basename "$deb"): |"
  done | tee "$scratch/lintian.txt"
  ! grep -q '^[^:]*: E:' "$scratch/lintian.txt" || fail "lintian reports errors"
fi
echo "package: $(basename "$navigator") unpacked and ran on its demo"
