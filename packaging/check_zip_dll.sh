#!/bin/sh
# The release zip's DLL, as a user installs it: unzipped into the Plugins
# folder of a host (plugin_probe.exe) and loaded there under Wine, it must
# answer interface version 3. Run by the Windows test suite inside its Wine
# session; skipped (77) until ./build.sh package has written the zip.
#   check_zip_dll.sh PLUGIN_PROBE_EXE ZIP
set -eu
probe=$1
zip=$2
[ -f "$zip" ] || { echo "no $zip yet (./build.sh package writes it)"; exit 77; }
host=$(mktemp -d)
trap 'rm -rf "$host"' EXIT
mkdir "$host/Plugins"
cp "$probe" "$host/plugin_probe.exe"
unzip -q "$zip" ORV_VEDaviror.dll -d "$host/Plugins"
answer=$(wine "$host/plugin_probe.exe" | tr -d '\r')
echo "$answer"
[ "$answer" = "version 3" ]
