#!/usr/bin/env bash
# Builds libogg, libvorbis, libmpg123 and wxWidgets (the window) for 32-bit
# Windows, static, from Debian's own source packages, into PREFIX (include/,
# lib/, lib/pkgconfig/, bin/wx-config). Once per build folder: a stamp per
# part records what was built, and a second run with the stamps in place
# does nothing.
#
#   scripts/windows-third-party.sh PREFIX
#
# apt fetches the sources (deb-src entries: scripts/install-deps.sh --windows)
# and checks them against the signed index; this script checks each archive
# once more against the checksums of the package's .dsc before unpacking it,
# then applies Debian's patches.
set -euo pipefail
prefix=$(mkdir -p "$1" && cd "$1" && pwd)
host=i686-w64-mingw32
packages=(libogg libvorbis mpg123)
stamp="$prefix/.built"
want="${packages[*]} $($host-gcc-posix -dumpversion) sse2 mpg123-sse"
# wxMSW with what the window uses: the core controls, the tray, the popup
# windows, accessibility. Our skin is drawn in code, so no image formats;
# none of the large optional libraries.
wx_options=(--disable-compat30 --disable-sockets --disable-webrequest --disable-html
    --disable-xrc --disable-aui --disable-ribbon --disable-propgrid --disable-richtext
    --disable-stc --disable-webview --disable-mediactrl --disable-svg --disable-debugreport
    --disable-grid --disable-dataviewctrl --disable-treelist --disable-calendar
    --disable-xlocale --disable-animatectrl --disable-bannerwindow --disable-bmpcombobox
    --disable-commandlinkbutton --disable-datepick --disable-timepick
    --disable-filectrl --disable-fontpicker --disable-colourpicker --disable-filepicker
    --disable-dirpicker --disable-editablebox --disable-rearrangectrl --disable-searchctrl
    --disable-treebook --disable-toolbook --disable-choicebook --disable-listbook
    --disable-richtooltip --disable-wizarddlg --disable-aboutdlg --disable-finddlg
    --disable-printarch --disable-postscript --disable-mdi --disable-docview --disable-help
    --disable-mshtmlhelp --disable-htmlhelp --disable-joystick --disable-sound
    --disable-uiactionsim --disable-addremovectrl
    --disable-infobar --disable-splash --disable-prefseditor --disable-fswatcher
    --disable-gif --disable-pcx --disable-iff --disable-pnm --disable-tga
    --without-opengl --without-libtiff --without-libpng --without-libjpeg --without-zlib
    --without-expat --without-regex --without-liblzma)
wx_stamp="$prefix/.built-wx"
wx_want="wxwidgets3.2 $($host-gcc-posix -dumpversion) ${wx_options[*]}"
audio_done() { [ -e "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; }
wx_done() { [ -e "$wx_stamp" ] && [ "$(cat "$wx_stamp")" = "$wx_want" ]; }
if audio_done && wx_done; then
    exit 0
fi
work="$prefix/src"
rm -rf "$work"
mkdir -p "$work"
jobs=$(nproc)

fetch() {  # fetch PACKAGE -> prints the unpacked folder
    local pkg=$1 dir dsc
    dir="$work/$pkg"
    mkdir -p "$dir"
    # A detached upstream signature the mirror does not carry fails the
    # download as a whole; every archive the .dsc needs is checked below.
    (cd "$dir" && apt-get source -q --download-only "$pkg" >/dev/null 2>&1) || true
    dsc=$(ls "$dir"/*.dsc 2>/dev/null | head -n1)
    [ -n "$dsc" ] || { echo "windows-third-party: no source package for $pkg (deb-src entries missing?)" >&2; exit 1; }
    # The archives named under Checksums-Sha256, minus signatures.
    awk '/^Checksums-Sha256:/{on=1; next} /^[^ ]/{on=0} on && NF==3 && $3 !~ /\.asc$/ {print $1"  "$3}' "$dsc" \
        | (cd "$dir" && sha256sum --quiet -c -) >&2 \
        || { echo "windows-third-party: $pkg: an archive does not match its .dsc" >&2; exit 1; }
    local src="$dir/unpacked"
    mkdir -p "$src"
    tar -xf "$(ls "$dir"/*.orig.tar.* | grep -v '\.asc$' | head -n1)" -C "$src" --strip-components=1
    tar -xf "$(ls "$dir"/*.debian.tar.*)" -C "$src"
    if [ -f "$src/debian/patches/series" ]; then
        while read -r patch _; do
            case "$patch" in ''|'#'*) continue ;; esac
            patch -s -p1 -d "$src" < "$src/debian/patches/$patch" >&2
        done < "$src/debian/patches/series"
    fi
    echo "$src"
}

export CC=$host-gcc-posix AR=$host-ar RANLIB=$host-ranlib
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=
common=(--host=$host --prefix="$prefix" --disable-shared --enable-static)

build() {  # build FOLDER CONFIGURE-ARGS...; the log is shown when it fails
    local src=$1; shift
    if ! (cd "$src" && ./configure "${common[@]}" "$@" CFLAGS="-O2 -msse2 -mfpmath=sse -mstackrealign" \
        && make -j"$jobs" && make install) >"$src.log" 2>&1; then
        tail -n 40 "$src.log" >&2
        echo "windows-third-party: building $(basename "$(dirname "$src")") failed" >&2
        exit 1
    fi
}

if ! audio_done; then
    ogg=$(fetch libogg)
    build "$ogg"
    vorbis=$(fetch libvorbis)
    # Debian's patches touch the build files: let autoreconf catch up.
    (cd "$vorbis" && autoreconf -fi >/dev/null 2>&1) || true
    build "$vorbis" --disable-docs --disable-examples --disable-oggtest --with-ogg="$prefix"
    mpg=$(fetch mpg123)
    # The SSE synth, as the x86-64 library's, so that both decode to the same
    # samples; no network streams and no loadable output modules.
    build "$mpg" --with-cpu=sse --enable-network=no --enable-modules=no
    echo "$want" > "$stamp"
    echo "windows-third-party: built ${packages[*]} into $prefix"
fi

if ! wx_done; then
    started=$SECONDS
    wx=$(fetch wxwidgets3.2)
    # Its configure refuses options it does not know, --enable-static too.
    common=(--host=$host --prefix="$prefix" --disable-shared)
    CXX=$host-g++-posix CXXFLAGS="-O2 -msse2 -mfpmath=sse -mstackrealign" \
        build "$wx" "${wx_options[@]}"
    echo "$wx_want" > "$wx_stamp"
    echo "windows-third-party: built wxWidgets into $prefix in $((SECONDS - started)) s"
fi
rm -rf "$work"
