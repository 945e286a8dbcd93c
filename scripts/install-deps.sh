#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent:
# asks apt only when something is missing, and updates its lists once.
set -euo pipefail

packages=(
    build-essential   # g++ and make
    cmake
    ninja-build
    pkg-config
    libgtest-dev      # unit tests
    libgmock-dev
    libcurl4-openssl-dev  # the filter-service client (HTTPS)
    libssl-dev        # the reference filter service's TLS and certificate
    libvorbis-dev     # Ogg Vorbis decoding (libvorbisfile, libvorbis, libogg)
    libogg-dev
    libmpg123-dev     # MPEG audio frames, fed frame by frame
    libavformat-dev   # the WMA decoder module (FFmpeg)
    libavcodec-dev
    libavutil-dev
    libswresample-dev
    sox               # test fixtures: synthetic audio, encoded by the tools below
    lame
    vorbis-tools
    ffmpeg
    python3-numpy     # independent check of the fingerprint words
    libwxgtk3.2-dev   # the window (wxWidgets on GTK 3)
    xvfb              # the window's tests: a virtual display,
    xauth
    fonts-nanum       # and Korean text in its screenshots
    openbox           # gui_desktop: a window manager,
    trayer            # a tray host,
    xdotool           # the pointer and keys of a user,
    x11-utils         # and xprop, which reads a window's state
    python3-pyatspi   # the window's accessibility test reads it as a screen reader does
    dbus-daemon       # the tray item's test: a private session bus,
    python3-gi        # and a stand-in for the panel's watcher on it
    libgtk-3-dev      # the control host's file chooser (GTK's native dialog, the portal's client)
    nlohmann-json3-dev  # the control host's messages from the browser
    chromium          # the browser bridge's end-to-end test
)
# `install-deps.sh --fuzz`: also the compiler for the libFuzzer targets.
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
fi
# `install-deps.sh --bench`: also fpcalc, the comparison in bench/fingerprint.
if [ "${1:-}" = "--bench" ]; then
    packages+=(libchromaprint-tools)
fi

# `install-deps.sh --package`: also what builds and checks the Debian packages
# (scripts/package.sh); scdoc and rsvg-convert make the man pages and icons.
if [ "${1:-}" = "--package" ]; then
    packages+=(dpkg-dev debhelper lintian desktop-file-utils appstream scdoc librsvg2-bin)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: need root or sudo for: ${missing[*]}" >&2; exit 1; }
    sudo=sudo
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
