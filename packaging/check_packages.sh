#!/usr/bin/env bash
# Checks what packaging/make_packages.sh wrote to dist/, as a user gets it:
#   - the zip holds exactly the DLL, README.txt and LICENSE.txt (the Windows
#     tests load its DLL under Wine: packaging/check_zip_dll.sh);
#   - a second packaging run gives byte-identical archives;
#   - the deb installs with its dependencies (apt, as root), then
#     orv-denoise --version, man -w orv-denoise and gst-inspect-1.0 orvdenoise
#     work without any environment variable, and the installed program
#     denoises a clip exactly as the build tree's does;
#   - purging the package leaves none of its files behind.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "package check: $*" >&2; exit 1; }
version=$(sed -n 's/^#define ORV_VERSION "\(.*\)"$/\1/p' build/native/generated/orv_version.h)
zip="dist/ORV_VEDaviror-$version-win32.zip"
deb="dist/orv-vedaviror_${version}_amd64.deb"

packaging/make_packages.sh >/dev/null
first=$(cat dist/SHA256SUMS)
packaging/make_packages.sh >/dev/null
[ "$first" = "$(cat dist/SHA256SUMS)" ] || fail "two packaging runs differ"
echo "package check: two runs give identical archives"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- The zip.
listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listed" = "LICENSE.txt ORV_VEDaviror.dll README.txt " ] || fail "the zip holds: $listed"
echo "package check: the zip holds the DLL, README.txt and LICENSE.txt (its DLL is loaded by the Windows tests)"

# --- The deb, installed as a user installs it.
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends "./$deb" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "the deb does not install"; }
files=$(dpkg -L orv-vedaviror)
(
    unset GST_PLUGIN_PATH GST_PLUGIN_SYSTEM_PATH
    [ "$(/usr/bin/orv-denoise --version)" = "orv-denoise $version" ] || fail "installed --version"
    man -w orv-denoise >/dev/null || fail "man -w orv-denoise finds no page"
    gst-inspect-1.0 orvdenoise >"$work/inspect.txt" 2>&1 || { cat "$work/inspect.txt" >&2; fail "gst-inspect-1.0 orvdenoise"; }
    ffmpeg -loglevel error -f lavfi -i "testsrc2=size=96x64:rate=25,noise=alls=10:allf=t" -frames:v 12 \
        -pix_fmt yuv422p -strict -1 -f yuv4mpegpipe "$work/clip.y4m"
    /usr/bin/orv-denoise -q --mc yuv "$work/clip.y4m" "$work/installed.y4m"
    build/native/orv-denoise -q --mc yuv "$work/clip.y4m" "$work/tree.y4m"
    cmp -s "$work/installed.y4m" "$work/tree.y4m" || fail "the installed orv-denoise differs from the tree's"
)
echo "package check: the deb installs; orv-denoise, its manual page and the element work"

apt-get purge -y -q orv-vedaviror >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "purge"; }
left=0
while IFS= read -r f; do
    # Folders the system shares (/usr, /usr/bin, ...) stay; the package's own go.
    if [ -e "$f" ] && { [ ! -d "$f" ] || [[ "$f" == *orv-vedaviror* ]]; }; then
        echo "left behind: $f" >&2
        left=1
    fi
done <<< "$files"
[ $left -eq 0 ] || fail "purging the package left files behind"
echo "package check: purging the package leaves nothing behind"
