# Shared by the scripts: install what is missing, configure and build.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libgl-dev)
# What the window needs to look right: FreeSans is the free font nearest to
# the original's widths, DejaVu the fallback for anything it lacks.
RUNTIME_PACKAGES=(fonts-freefont-ttf fonts-dejavu-core)
# The package: PNG icons from the SVG, CPack's shlibdeps and strip.
PACKAGE_PACKAGES=(librsvg2-bin dpkg-dev file)
# libFuzzer and its sanitizers come with clang's runtime libraries.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

# ensure_packages NAME...: installs the Debian packages that are not installed yet.
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# configure DIR [CMAKE ARGS...]: configures the build in DIR.
configure() {
    local dir="$1"
    shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
}

# build DIR [CMAKE ARGS...]: configures and builds everything in DIR.
build() {
    configure "$@"
    cmake --build "$1" -j "$(nproc)"
}
