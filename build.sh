#!/usr/bin/env bash
# One entry point for setting up, building, testing and demonstrating the plug-in.
#   ./build.sh deps    install what is missing (Debian, as root)
#   ./build.sh build   build the native and the win32 targets
#   ./build.sh test    deps + build + every test (native, sanitizers, Wine, 60 s of fuzzing)
#   ./build.sh fuzz [s] the settings-text and YUV4MPEG2 fuzzers, side by side for s seconds
#   ./build.sh demo    deps + build + the denoising demo into out/demo/
#   ./build.sh package the Windows zip and the Debian package into dist/ (after deps and build)
set -euo pipefail
cd "$(dirname "$0")"

JOBS=${JOBS:-$(nproc)}

need_pkgs=(cmake ninja-build g++ clang libgtest-dev libbenchmark-dev
           g++-mingw-w64-i686-posix wine wine32:i386 xvfb xauth ffmpeg
           imagemagick fonts-dejavu-core fonts-liberation python3 python3-numpy
           python3-matplotlib qemu-user-static libclang-rt-14-dev x11-utils
           dpkg-dev lintian man-db unzip
           pkg-config libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
           gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools)

deps() {
    local missing=()
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        export FORCE_UPDATE=1
    fi
    for p in "${need_pkgs[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q
        apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
    enable_i386_programs
}

# Wine's loader is a 32-bit program. Where the kernel cannot run i386 code
# itself, qemu runs it; register that handler when nothing else has.
enable_i386_programs() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
    mountpoint -q /proc/sys/fs/binfmt_misc ||
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    local entry=/proc/sys/fs/binfmt_misc/qemu-i386
    if [ -e "$entry" ]; then
        echo 1 > "$entry"
    else
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > /proc/sys/fs/binfmt_misc/register
    fi
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "cannot run 32-bit programs (needed by Wine)" >&2; return 1; }
}

build() {
    cmake --preset native >/dev/null
    cmake --build --preset native -j "$JOBS"
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j "$JOBS"
}

build_sanitize() {
    cmake --preset sanitize >/dev/null
    cmake --build --preset sanitize -j "$JOBS"
}

build_tsan() {
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan -j "$JOBS" --target plugin_threading_test
}

run_tests() {
    ctest --preset native -j "$JOBS"
    ctest --preset sanitize -j "$JOBS"
    ctest --preset tsan -R plugin_threading
    # After the native run: the win32 run compares its frames with the native ones.
    # Wine under CPU emulation now and then fails to create a window at all
    # (CreateWindowEx returns NULL after a long stall); a failing test gets one
    # more run, so only a failure that repeats fails the suite.
    ctest --preset win32 -j "$JOBS" --repeat until-pass:2
}

# lintian's errors fail the packaging; its warnings are printed.
lint_package() {
    local report
    report=$(lintian --info dist/*.deb 2>&1 | grep -v 'running with root privileges' || true)
    [ -z "$report" ] || echo "$report"
    ! grep -q '^E:' <<< "$report"
}

case "${1:-}" in
    deps)  deps ;;
    build) build ;;
    # The packages come before the tests: the Windows suite loads the zip's DLL.
    test)  deps; build; packaging/make_packages.sh; build_sanitize; build_tsan; run_tests
           tests/fuzz/run_fuzz.sh 60; packaging/check_packages.sh; lint_package ;;
    package) packaging/make_packages.sh && lint_package ;;
    fuzz)  deps; tests/fuzz/run_fuzz.sh "${2:-60}" ;;
    demo)  deps; build; ./host/demo.sh ;;
    *) echo "usage: $0 deps|build|test|demo|package|fuzz [seconds]" >&2; exit 2 ;;
esac
