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
    chromium          # the browser bridge's end-to-end test,
    firefox-esr       # in both browsers; Firefox driven over WebDriver BiDi
    python3-websocket # on a WebSocket
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

# `install-deps.sh --windows`: also the 32-bit Windows cross compiler, Wine to
# run what it builds, what fetches and unpacks Debian's source packages of
# the audio libraries (scripts/windows-third-party.sh builds them), and
# makensis for the installer.
windows=
if [ "${1:-}" = "--windows" ]; then
    windows=1
    packages+=(g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 wine64 dpkg-dev locales
        nsis)
fi

# Wine reads the command line and file names through the Unix locale, and
# takes the Windows code page from its name: the Windows tests run in a
# Korean UTF-8 locale, which must exist for both to hold.
korean_locale() {
    [ -n "$windows" ] || return 0
    locale -a 2>/dev/null | grep -qix 'ko_KR.utf8' && return 0
    echo "install-deps: generating the ko_KR.UTF-8 locale"
    $sudo localedef -i ko_KR -c -f UTF-8 ko_KR.UTF-8
}

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
sudo=
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then
    sudo=sudo
fi
if [ ${#missing[@]} -eq 0 ]; then
    korean_locale
    exit 0
fi
if [ "$(id -u)" -ne 0 ] && [ -z "$sudo" ]; then
    echo "install-deps: need root or sudo for: ${missing[*]}" >&2
    exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ -n "$windows" ]; then
    # Wine's 32-bit half is an i386 package.
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    # Source entries mirror the machine's own binary entries, so no host name
    # is written here; apt checks the sources' signatures as it does packages.
    src=/etc/apt/sources.list.d/quenvara-deb-src.sources
    if [ ! -e "$src" ] && [ -e /etc/apt/sources.list.d/debian.sources ]; then
        sed -n 's/^Types:.*\bdeb\b.*$/Types: deb-src/; p' /etc/apt/sources.list.d/debian.sources | $sudo tee "$src" >/dev/null
    elif [ ! -e "$src" ] && [ -e /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee "${src%.sources}.list" >/dev/null
    fi
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
korean_locale
