#!/usr/bin/env bash
# Writes dist/ from the built tree (./build.sh build first):
#   ORV_VEDaviror-<version>-win32.zip   the DLL for TV hosts, README.txt, LICENSE
#   orv-vedaviror_<version>_amd64.deb   orv-denoise, its manual page, the
#                                       GStreamer element and the Linux plug-in
#   SHA256SUMS
# The archives are reproducible: every time stamp is SOURCE_DATE_EPOCH (the
# last commit's time unless set), entries are sorted, owners are root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

version=$(sed -n 's/^#define ORV_VERSION "\(.*\)"$/\1/p' build/native/generated/orv_version.h)
[ -n "$version" ] || { echo "package: build first (./build.sh build)" >&2; exit 1; }
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1765411200)}
export TZ=UTC LC_ALL=C.UTF-8

dll=build/win32/ORV_VEDaviror.dll
so=build/native/ORV_VEDaviror.so
cli=build/native/orv-denoise
element=build/native/gst/libgstorvdenoise.so
for f in "$dll" "$so" "$cli" "$element"; do
    [ -f "$f" ] || { echo "package: $f is missing; build first (./build.sh build)" >&2; exit 1; }
done

rm -rf dist
mkdir -p dist
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

subst() {
    sed -e "s/@VERSION@/$version/g" \
        -e "s/@DATE@/$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)/g" \
        -e "s/@RFC2822DATE@/$(date -u -d "@$SOURCE_DATE_EPOCH" -R)/g" "$1"
}

# --- The Windows zip: the DLL without its debugging data (which names the
# build's folders), text files with CR LF line ends, for Notepad.
i686-w64-mingw32-strip --strip-unneeded -o "$work/ORV_VEDaviror.dll" "$dll"
subst packaging/README.txt | sed 's/$/\r/' > "$work/README.txt"
sed 's/$/\r/' LICENSE > "$work/LICENSE.txt"
zip="dist/ORV_VEDaviror-$version-win32.zip"
python3 packaging/make_zip.py "$zip" \
    "ORV_VEDaviror.dll=$work/ORV_VEDaviror.dll" "README.txt=$work/README.txt" "LICENSE.txt=$work/LICENSE.txt"

# --- The Debian package, staged with plain permissions.
stage="$work/deb"
doc="$stage/usr/share/doc/orv-vedaviror"
gstdir="$stage/usr/lib/x86_64-linux-gnu/gstreamer-1.0"
install -d -m 755 "$stage/usr/bin" "$stage/usr/lib/orv-vedaviror" "$gstdir" "$stage/usr/share/man/man1" "$doc"
install -m 755 "$cli" "$stage/usr/bin/orv-denoise"
install -m 644 "$so" "$stage/usr/lib/orv-vedaviror/ORV_VEDaviror.so"
install -m 644 "$element" "$gstdir/libgstorvdenoise.so"
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "$stage/usr/bin/orv-denoise" "$stage/usr/lib/orv-vedaviror/ORV_VEDaviror.so" "$gstdir/libgstorvdenoise.so"
subst packaging/orv-denoise.1 | gzip -9n > "$stage/usr/share/man/man1/orv-denoise.1.gz"
install -m 644 README.md "$doc/README.md"
install -m 644 host/README.md "$doc/orv-denoise.md"
[ -f gst/README.md ] && install -m 644 gst/README.md "$doc/orvdenoise-element.md"
install -m 644 packaging/debian/copyright "$doc/copyright"
subst packaging/debian/changelog | gzip -9n > "$doc/changelog.gz"
chmod 644 "$doc"/* "$stage/usr/share/man/man1/orv-denoise.1.gz"

# dpkg-shlibdeps and dpkg-gencontrol read the package's debian/ folder.
src="$work/src"
install -d "$src/debian"
cp packaging/debian/control "$src/debian/control"
subst packaging/debian/changelog > "$src/debian/changelog"
(cd "$src" && dpkg-shlibdeps -Tdebian/substvars -e"$stage/usr/bin/orv-denoise" \
    -e"$stage/usr/lib/orv-vedaviror/ORV_VEDaviror.so" -e"$gstdir/libgstorvdenoise.so" 2> "$work/shlibdeps.log" ||
    { cat "$work/shlibdeps.log" >&2; exit 1; })
install -d -m 755 "$stage/DEBIAN"
(cd "$src" && dpkg-gencontrol -porv-vedaviror -P"$stage" -Tdebian/substvars)
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum > DEBIAN/md5sums)
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb="dist/orv-vedaviror_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null

(cd dist && sha256sum -- *.zip *.deb > SHA256SUMS)
cat dist/SHA256SUMS
