#!/usr/bin/env bash
# Installs a build into a fresh temporary prefix and checks what a desktop and a package need
# there: the programs and their manual pages (every option a program's --help names is in its
# page), the modules in the program's library folder, the desktop entry and the metainfo that
# names it, the icon at every size, the example systemd unit, the copyright file. The desktop
# entry and the metainfo also go through their validators (desktop-file-utils, appstream), and
# the manual pages through man's own warnings (man-db), when those are installed. The installed
# marvane-export writes a netCDF file, which it can only do through the installed netCDF module.
#
#   check-install.sh BUILD_DIR VERSION APP_ID HAVE_RECORDER [HAVE_EXPORT [HAVE_SIMULATOR [MODULE_DIR]]]
#
# HAVE_RECORDER is 1 when the build has marvane-record, which must then be installed too;
# HAVE_EXPORT the same for marvane-export, HAVE_SIMULATOR for marvane-sensor-sim. MODULE_DIR is
# the modules' folder in the prefix (default lib/marvane/modules).
# CMAKE names the cmake program to install with (default: cmake from PATH).
set -euo pipefail

if [ $# -lt 4 ] || [ $# -gt 7 ]; then
    echo "usage: $0 BUILD_DIR VERSION APP_ID HAVE_RECORDER [HAVE_EXPORT [HAVE_SIMULATOR [MODULE_DIR]]]" >&2
    exit 2
fi
build=$1
version=$2
appId=$3
haveRecorder=$4
haveExport=${5:-0}
haveSimulator=${6:-0}
moduleDir=${7:-lib/marvane/modules}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# DESTDIR from the caller's environment would send the files somewhere else.
if ! env -u DESTDIR "${CMAKE:-cmake}" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install $build --prefix $prefix"
    exit 1
fi

# A destination given as an absolute path would escape the prefix, and the package.
while IFS= read -r installed; do
    case $installed in
    "$prefix"/*) ;;
    *) fail "installed outside the prefix: $installed" ;;
    esac
done <"$build/install_manifest.txt"

expectFile() {
    [ -f "$prefix/$1" ] || fail "not installed: $1"
}
expectProgram() {
    if [ ! -f "$prefix/bin/$1" ]; then
        fail "program not installed: bin/$1"
    elif [ ! -x "$prefix/bin/$1" ]; then
        fail "program not executable: bin/$1"
    fi
}

programs=(marvane)
[ "$haveRecorder" = 1 ] && programs+=(marvane-record)
[ "$haveExport" = 1 ] && programs+=(marvane-export)
[ "$haveSimulator" = 1 ] && programs+=(marvane-sensor-sim)
for program in "${programs[@]}"; do
    expectProgram "$program"
done

# Each program's manual page, compressed as Debian wants it when gzip was there, holds every
# option its --help names (written "\-\-name" in the page's source).
for program in "${programs[@]}"; do
    page=$prefix/share/man/man1/$program.1.gz
    [ -f "$page" ] || page=$prefix/share/man/man1/$program.1
    if [ ! -f "$page" ]; then
        fail "no manual page for $program"
        continue
    fi
    case $page in
    *.gz) source=$(gzip -dc "$page") ;;
    *) source=$(cat "$page") ;;
    esac
    [ -x "$prefix/bin/$program" ] || continue
    if ! help=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/$program" --help 2>&1); then
        fail "$program --help failed: $help"
        continue
    fi
    for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
        grep -qF -- "${option//-/\\-}" <<<"$source" ||
            fail "the manual page of $program does not name $option"
    done
    if command -v man >/dev/null; then
        # What lintian asks of a page: no warning from man's formatting of it.
        if warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) &&
            [ -z "$warnings" ]; then
            echo "man --warnings $program.1: passed"
        else
            fail "man --warnings $program.1: $warnings"
        fi
    fi
done
expectFile share/doc/marvane/copyright
expectFile "$moduleDir/marvane-netcdf.so"
expectFile "$moduleDir/marvane-mqtt.so"
expectFile "$moduleDir/marvane-nmea.so"
expectFile "$moduleDir/marvane-tcp.so"

# The programs link neither module's library: those are loaded with the module, when first used.
for program in marvane marvane-record marvane-export; do
    [ -f "$prefix/bin/$program" ] || continue
    if needed=$(readelf -d "$prefix/bin/$program" 2>/dev/null); then
        if grep -qE 'NEEDED.*\[lib(netcdf|mosquitto|Qt6Network|ssl|crypto)' <<<"$needed"; then
            fail "bin/$program links $(grep -oE 'lib(netcdf|mosquitto|Qt6Network|ssl|crypto)[^]]*' <<<"$needed" | tr '\n' ' ')"
        fi
    fi
done

# The installed marvane-export finds the installed netCDF module: a netCDF-4 file is an HDF5
# file, which begins with the HDF5 signature.
if [ "$haveExport" = 1 ] && [ -x "$prefix/bin/marvane-export" ]; then
    printf '"Speed","Bearing","Date-Time"\r\n"m/s","Degrees","24 Hour UTC"\r\n"0.515","088","24/05/2009 14:03:07"\r\n' >"$work/in.log"
    if ! report=$("$prefix/bin/marvane-export" "$work/in.log" "$work/out.nc" 2>&1); then
        fail "the installed marvane-export cannot write netCDF: $report"
    elif [ "$(od -An -c -N4 "$work/out.nc" | tr -d ' ')" != '211HDF' ]; then
        fail "the installed marvane-export wrote no netCDF-4 file: $report"
    else
        echo "installed marvane-export wrote netCDF through $moduleDir/marvane-netcdf.so"
    fi
fi

desktop=share/applications/$appId.desktop
metainfo=share/metainfo/$appId.metainfo.xml
expectFile "$desktop"
expectFile "$metainfo"
expectFile share/icons/hicolor/scalable/apps/marvane.svg
expectFile share/doc/marvane/examples/marvane-record.service

# Each PNG: the PNG signature, then the width and height of its header, both the folder's size.
for side in 16 24 32 48 64 128 256; do
    png=share/icons/hicolor/${side}x${side}/apps/marvane.png
    if [ ! -f "$prefix/$png" ]; then
        fail "not installed: $png"
        continue
    fi
    read -r -a bytes <<<"$(od -An -v -tu1 -N24 "$prefix/$png" | tr '\n' ' ')"
    if [ "${bytes[*]:0:8}" != "137 80 78 71 13 10 26 10" ]; then
        fail "not a PNG image: $png"
        continue
    fi
    width=$(((bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19]))
    height=$(((bytes[20] << 24) | (bytes[21] << 16) | (bytes[22] << 8) | bytes[23]))
    if [ "$width" != "$side" ] || [ "$height" != "$side" ]; then
        fail "$png is ${width}x${height}, not ${side}x${side}"
    fi
done

# The entry starts the installed program and shows the installed icon; the metainfo launches
# that entry and describes this version.
if [ -f "$prefix/$desktop" ]; then
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/$desktop")
    if [ -z "$exec" ] || [ ! -x "$prefix/bin/$exec" ]; then
        fail "Exec= of the desktop entry is not an installed program: '$exec'"
    fi
    icon=$(sed -n 's/^Icon=//p' "$prefix/$desktop")
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
        fail "Icon= of the desktop entry is not an installed icon: '$icon'"
fi
if [ -f "$prefix/$metainfo" ]; then
    grep -q "<launchable type=\"desktop-id\">$appId.desktop</launchable>" "$prefix/$metainfo" ||
        fail "the metainfo does not launch $appId.desktop"
    grep -q "<release version=\"$version\"" "$prefix/$metainfo" ||
        fail "the metainfo has no release entry for version $version"
fi

if command -v desktop-file-validate >/dev/null; then
    # Hints are advice; errors and warnings fail.
    if ! report=$(desktop-file-validate "$prefix/$desktop" 2>&1) ||
        grep -qE ': (error|warning): ' <<<"$report"; then
        fail "desktop-file-validate: $report"
    else
        echo "desktop-file-validate: passed${report:+ ($report)}"
    fi
else
    echo "SKIPPED: desktop-file-validate is not installed (Debian package desktop-file-utils)"
fi

if command -v appstreamcli >/dev/null; then
    appstream() {
        local report
        if report=$(appstreamcli "$@" 2>&1); then
            echo "appstreamcli $1: passed"
        else
            fail "appstreamcli $1: $report"
        fi
    }
    appstream validate --no-net "$prefix/$metainfo"
    # validate-tree also checks the metainfo together with the desktop entry it launches.
    appstream validate-tree --no-net "$prefix"
else
    echo "SKIPPED: appstreamcli is not installed (Debian package appstream)"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s); installed files:"
    (cd "$prefix" && find . -type f | sort)
    exit 1
fi
echo "installed and checked: $(cd "$prefix" && find . -type f | wc -l) files"
