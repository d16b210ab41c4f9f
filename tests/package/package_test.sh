#!/usr/bin/env bash
# The Debian package as a user gets it, and the manual page against the program's own --help.
# Usage:
#   package_test.sh build BUILD_DIR OUT_DIR                 cpack the build tree into OUT_DIR
#   package_test.sh contents OUT_DIR PROGRAM AUDIO_LIB ICO  files, control fields, Depends
#   package_test.sh lintian OUT_DIR                         lintian reports no error
#   package_test.sh unpacked OUT_DIR                        the unpacked package runs
#   package_test.sh manual PROGRAM MAN_PAGE                 the manual's options are those of --help
#   package_test.sh install BUILD_DIR HACK_DIR              a staged `make install` and its undoing
#   package_test.sh makefile SOURCE_DIR                     the Makefile's BUILD folder is the one it uses
#   package_test.sh makefile_serial SOURCE_DIR              make -j runs one build at a time in a folder
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The options a --help text or a manual page's item tags name: --long, -long and /x switches.
options_in() {
    grep -oE '(^|[ ,])(--?[a-z][a-z-]*|/[a-zA-Z])' | sed -E 's/^[ ,]//' | sort -u
}

# The single package in OUT_DIR, or a failure.
package_file() {
    local debs=("$1"/vesiclar_*_amd64.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single vesiclar_*_amd64.deb in $1"
    echo "${debs[0]}"
}

case "$1" in
build)
    rm -rf "$3"
    # Under the strictest umask a builder may have: the package must not take it on.
    (umask 077 && cd "$2" && cpack -B "$3" >/dev/null) || fail "cpack could not build the package"
    package_file "$3" >/dev/null
    ;;

contents)
    deb=$(package_file "$2")
    program=$3 audio_lib=$4 ico=$5
    files=$(dpkg-deb -c "$deb" | awk '{ print $6 ($7 == "->" ? " -> " $8 : "") }' | sed 's|^\./|/|')

    version=$("$program" --version | awk '{ print $2 }')
    [ "$(basename "$deb")" = "vesiclar_${version}_amd64.deb" ] || fail "package named $(basename "$deb") for version $version"
    expected=(
        /usr/bin/vesiclar
        "/usr/libexec/xscreensaver/vesiclar -> ../../bin/vesiclar"
        /usr/share/xscreensaver/config/vesiclar.xml
        /usr/share/man/man6/vesiclar.6.gz
        /usr/share/applications/vesiclar-settings.desktop
        /usr/share/doc/vesiclar/copyright
        /usr/share/doc/vesiclar/changelog.gz
    )
    # The icon theme gets every size the program's icon resource holds (its directory entries).
    count=$(od -An -tu2 -j4 -N2 "$ico" | tr -d ' ')
    [ "$count" -gt 0 ] || fail "$ico holds no image"
    for ((i = 0; i < count; i++)); do
        size=$(od -An -tu1 -j$((6 + 16 * i)) -N1 "$ico" | tr -d ' ')
        expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/vesiclar.png")
    done
    for path in "${expected[@]}"; do
        grep -qxF "$path" <<<"$files" || fail "the package lacks $path; it holds:"$'\n'"$files"
    done
    # Folders 0755, files 0644, the program 0755: whatever the umask of whoever built it.
    modes=$(dpkg-deb -c "$deb" | awk '{ print $1, $6 }' | sed 's| \./| /|')
    wrong=$(grep -vE '^(drwxr-xr-x .*/|-rw-r--r-- .*|lrwxrwxrwx .*|-rwxr-xr-x /usr/bin/vesiclar)$' <<<"$modes" || true)
    [ -z "$wrong" ] || fail "entries of the package with the wrong mode:"$'\n'"$wrong"

    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = vesiclar ] || fail "Package: $(field Package)"
    [ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the program says $version"
    [ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
    [ "$(field Suggests)" = xscreensaver ] || fail "Suggests: $(field Suggests)"
    [ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "no Maintainer or Description"

    # Every library the program or the audio library it carries loads comes from a package named
    # in Depends, with the version the build needed where the library's package says one.
    depends=$(field Depends)
    names=$(tr ',|' '\n\n' <<<"$depends" | sed -E 's/\(.*\)//; s/ //g')
    libraries=$(objdump -p "$program" "$audio_lib" | awk '$1 == "NEEDED" { print $2 }' | sort -u)
    holders=$(dpkg -S $(sed 's|^|*/|' <<<"$libraries") 2>/dev/null || true)  # one pass over dpkg's lists
    for library in $libraries; do
        owners=$(awk -F': ' -v lib="$library" '{ n = split($2, p, "/") } p[n] == lib { print $1 }' <<<"$holders" |
            tr ',' '\n' | sed 's/ //g; s/:.*//')
        [ -n "$owners" ] || fail "no installed package holds $library"
        grep -qxF -f <(echo "$owners") <<<"$names" || fail "$library (from $(echo $owners)) is not in Depends: $depends"
    done
    grep -qE 'libvorbisfile3 \(>= [0-9]' <<<"$depends" || fail "Depends has no versioned libvorbisfile3: $depends"
    ;;

lintian)
    deb=$(package_file "$2")
    lintian --pedantic --display-info --fail-on error "$deb" || fail "lintian reports errors (or could not run)"
    ;;

unpacked)
    deb=$(package_file "$2")
    root=$(mktemp -d /tmp/vesiclar-package-XXXXXX)
    trap 'rm -rf "$root"' EXIT
    dpkg -x "$deb" "$root"
    version=$(dpkg-deb -f "$deb" Version)
    [ "$("$root/usr/bin/vesiclar" --version)" = "vesiclar $version" ] || fail "the unpacked program does not say its version"
    # xscreensaver starts the hack through the link.
    [ "$("$root/usr/libexec/xscreensaver/vesiclar" --version)" = "vesiclar $version" ] || fail "the hack link does not run the program"
    [ "$(zcat "$root/usr/share/doc/vesiclar/changelog.gz" | dpkg-parsechangelog -l - -S Version)" = "$version" ] ||
        fail "the changelog's last entry is not version $version"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man6/vesiclar.6.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the manual page does not format cleanly: $warnings"

    # The desktop entry opens the settings dialog.
    desktop="$root/usr/share/applications/vesiclar-settings.desktop"
    grep -qx 'Name=Vesiclar Settings' "$desktop" || fail "the desktop entry is not called Vesiclar Settings"
    grep -qx 'Icon=vesiclar' "$desktop" || fail "the desktop entry does not show the program icon"
    exec_line=$(sed -n 's/^Exec=//p' "$desktop")
    export PATH="$root/usr/bin:$PATH" HOME="$root" XDG_CONFIG_HOME="$root/config" TMPDIR="$root"
    xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' bash -c '
        $1 >"$2/dialog.log" 2>&1 &
        app=$!
        for _ in $(seq 300); do
            if xdotool search --onlyvisible --name "^Vesiclar Configuration$" >/dev/null 2>&1; then
                kill $app
                exit 0
            fi
            kill -0 $app 2>/dev/null || break
            sleep 0.1
        done
        kill $app 2>/dev/null
        cat "$2/dialog.log" >&2
        exit 1' _ "$exec_line" "$root" || fail "the desktop entry's command ($exec_line) shows no settings dialog"
    ;;

manual)
    program=$2 manual=$3
    help_options=$("$program" --help | grep -E '^ +[-/]' | options_in)
    # The items of the manual's OPTIONS: the line after each .TP, troff's escapes and fonts taken out.
    manual_options=$(awk '/^\.SH/ { options = ($2 == "OPTIONS") } options && tag { print } { tag = /^\.TP/ }' "$manual" |
        sed -E 's/\\f[BIRP]//g; s/\\-/-/g; s/^\.[A-Z]+ //; s/"//g' | options_in)
    [ -n "$help_options" ] || fail "--help names no option"
    missing=$(comm -23 <(echo "$help_options") <(echo "$manual_options"))
    [ -z "$missing" ] || fail "the manual page lacks these options of --help: $(echo $missing)"
    extra=$(comm -13 <(echo "$help_options") <(echo "$manual_options"))
    [ -z "$extra" ] || fail "the manual page documents options --help does not know: $(echo $extra)"
    ;;

install)
    build=$2 hack_dir=$3
    stage=$(mktemp -d /tmp/vesiclar-install-XXXXXX)
    prefix=/opt/vesiclar-test
    # A component of its own, so the manifest of the user's real install stays as it is.
    manifest=$build/install_manifest_Unspecified.txt
    trap 'rm -rf "$stage" "$manifest"' EXIT
    DESTDIR=$stage cmake --install "$build" --prefix "$prefix" --component Unspecified >/dev/null ||
        fail "the staged install failed"
    [ -x "$stage$prefix/bin/vesiclar" ] || fail "no program in $prefix/bin"
    [ "$(readlink -f "$stage$hack_dir/vesiclar")" = "$stage$prefix/bin/vesiclar" ] ||
        fail "the hack link does not lead to the installed program: $(readlink "$stage$hack_dir/vesiclar")"
    # The manifest is what undoes an install (xargs rm <install_manifest.txt): nothing stays.
    while IFS= read -r path || [ -n "$path" ]; do
        rm -f "$stage$path"
    done <"$manifest"
    left=$(cd "$stage" && find . ! -type d)
    [ -z "$left" ] || fail "removing what the install manifest lists leaves behind:"$'\n'"$left"
    ;;

makefile)
    # `make build BUILD=folder` configures that folder, and nothing else (its configure step without
    # the packages step).
    work=$(mktemp -d /tmp/vesiclar-build-XXXXXX)
    trap 'rm -rf "$work"' EXIT
    make -s -C "$2" "$work/build/CMakeCache.txt" BUILD="$work/build" >"$work/log" 2>&1 ||
        fail "configuring failed:"$'\n'"$(cat "$work/log")"
    [ -f "$work/build/CMakeCache.txt" ] || fail "make BUILD=$work/build configured another folder:"$'\n'"$(cat "$work/log")"
    ;;

makefile_serial)
    # Two goals at once (`make -j2 build package`, or MAKEFLAGS=-j2 with `make test`) must not run
    # two builds side by side in one build folder: they wreck each other's outputs. cmake and cpack
    # are stand-ins here that note an overlap; every package counts as installed.
    work=$(mktemp -d /tmp/vesiclar-make-XXXXXX)
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/bin"
    here=$(cd "$(dirname "$0")" && pwd)
    ln -s "$here/stand_in_cmake.sh" "$work/bin/cmake"
    ln -s "$here/stand_in_cmake.sh" "$work/bin/cpack"
    printf '#!/bin/sh\necho "install ok installed"\n' >"$work/bin/dpkg-query"
    chmod +x "$work/bin/dpkg-query"
    FAKE_STATE=$work PATH="$work/bin:$PATH" make -s -j2 -C "$2" build package BUILD="$work/build" JOBS=1 \
        >"$work/log" 2>&1 || fail "make -j2 build package failed:"$'\n'"$(cat "$work/log")"
    [ ! -e "$work/overlaps" ] || fail "make -j2 build package ran two builds in one build folder at once"
    ;;

*)
    fail "unknown check $1"
    ;;
esac
