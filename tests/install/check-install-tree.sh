#!/usr/bin/env bash
# Installs this build into a temporary prefix and checks the tree the way the program and the
# desktop use it: the executable reached through bin/tapewren runs from the folder that holds the
# files it opens beside itself, and the desktop entry and icon are where the desktop looks.
#
# Usage: check-install-tree.sh BUILD_DIR
# Environment: CMAKE_COMMAND, DESKTOP_FILE_VALIDATE (the tools to use).
set -uo pipefail

build=${1:?usage: check-install-tree.sh BUILD_DIR}
cmake=${CMAKE_COMMAND:-cmake}
validate=${DESKTOP_FILE_VALIDATE:-desktop-file-validate}

work=$(mktemp -d /tmp/tapewren-install.XXXXXX)
pid=""
cleanup() {
    if [[ -n "$pid" ]]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() {
    echo "PASS: $*"
}

prefix="$work/prefix with blanks 和中文"
if ! "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

# bin/tapewren: a relative link, so the tree still works after being moved.
command="$prefix/bin/tapewren"
if [[ ! -L "$command" ]]; then
    fail "bin/tapewren is not a symbolic link"
elif [[ "$(readlink "$command")" == /* ]]; then
    fail "bin/tapewren points to an absolute path: $(readlink "$command")"
fi
real=$(readlink -f "$command")
if [[ -f "$real" && -x "$real" && "$(basename "$real")" == tapewren ]]; then
    pass "bin/tapewren resolves to the executable $real"
else
    fail "bin/tapewren does not resolve to an executable named tapewren: $real"
fi
programDir=$(dirname "$real")

# The installed program must not reach back into the build tree for anything.
if readelf -d "$real" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
    fail "the installed executable keeps a run path into the build tree"
fi

# The files the program opens from its own folder: the skin at start-up, the read-me on Help.
for file in default.skn readme.txt; do
    if [[ ! -f "$programDir/$file" ]]; then
        fail "$file is missing from the program's folder $programDir"
    elif [[ -f "$build/program/$file" ]] && ! cmp -s "$programDir/$file" "$build/program/$file"; then
        fail "$file differs between the build tree and the install tree"
    else
        pass "$file beside the executable"
    fi
done
readme="$programDir/readme.txt"
if [[ -f "$readme" ]] && ! iconv -f UTF-8 -t UTF-8 "$readme" >/dev/null 2>&1; then
    fail "readme.txt is not valid UTF-8"
fi

# Started through the command on PATH, the program's own idea of its folder (taken from
# /proc/self/exe) must be that folder. Offscreen, with a private runtime folder so the
# single-instance lock of another copy cannot turn it away.
mkdir -m 700 "$work/run"
(
    cd "$work" || exit 1
    export PATH="$prefix/bin:$PATH" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
    exec tapewren
) >"$work/program.log" 2>&1 &
pid=$!
exe=""
for _ in $(seq 100); do
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || break
    [[ "$(basename "$exe")" == tapewren ]] && break
    sleep 0.1
done
if [[ -n "$real" && "$exe" == "$real" ]]; then
    pass "the program started from PATH runs as $exe"
else
    fail "the program started from PATH runs as '$exe', not $real"
    cat "$work/program.log"
fi
if [[ -n "$exe" ]] && ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    fail "the installed program ended on its own (status $?)"
    cat "$work/program.log"
fi

# The desktop entry: one, named after the app id, valid, launching the command on PATH (its
# actions too), with an icon the theme can find.
desktops=("$prefix"/share/applications/*.desktop)
desktop=${desktops[0]}
appId=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$prefix"/share/metainfo/*.metainfo.xml 2>/dev/null)
if ((${#desktops[@]} != 1)) || [[ ! -f "$desktop" ]]; then
    fail "expected one desktop entry in share/applications, found: ${desktops[*]}"
elif [[ "$(basename "$desktop")" != "$appId.desktop" ]]; then
    fail "the desktop entry $(basename "$desktop") is not named after the app id '$appId'"
else
    if ! command -v "$validate" >/dev/null; then
        fail "desktop-file-validate is not installed (desktop-file-utils)"
    elif "$validate" "$desktop" >"$work/validate.log" 2>&1; then
        pass "desktop-file-validate accepts $(basename "$desktop")"
    else
        cat "$work/validate.log"
        fail "desktop-file-validate rejects $(basename "$desktop")"
    fi
    while IFS= read -r execLine; do
        if [[ "$(PATH="$prefix/bin" command -v "${execLine%% *}")" != "$command" ]]; then
            fail "Exec=$execLine does not name the installed command"
        fi
    done < <(sed -n 's/^Exec=//p' "$desktop")
    for action in "--record" "--stop"; do
        grep -qx "Exec=tapewren $action" "$desktop" || fail "no desktop action runs tapewren $action"
    done
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    grep -q '^Name\[zh_CN\]=' "$desktop" || fail "no Chinese name in the desktop entry"
    grep -q '^Comment\[zh_CN\]=' "$desktop" || fail "no Chinese comment in the desktop entry"
fi

# The icon in the sizes a desktop asks for, each image as large as its folder says.
hicolor="$prefix/share/icons/hicolor"
for size in 16 48 128; do
    png="$hicolor/${size}x${size}/apps/${icon:-tapewren}.png"
    if [[ ! -f "$png" ]]; then
        fail "icon ${size}x${size} missing: $png"
    elif ! file "$png" | grep -q "PNG image data, $size x $size"; then
        fail "icon $png is not a ${size}x${size} PNG: $(file -b "$png")"
    else
        pass "icon ${size}x${size}"
    fi
done
svg="$hicolor/scalable/apps/${icon:-tapewren}.svg"
if [[ -f "$svg" ]] && ! file "$svg" | grep -q 'SVG'; then
    fail "the scalable icon is not an SVG image"
fi

# The documents: the manual pages where man looks, the AppStream metadata where software centres
# look, and the Debian copyright and changelog in the package's doc folder.
for gz in share/man/man1/tapewren.1.gz share/man/zh_CN/man1/tapewren.1.gz \
    share/doc/tapewren/changelog.Debian.gz; do
    if [[ ! -f "$prefix/$gz" ]]; then
        fail "$gz is missing"
    elif ! gzip -t "$prefix/$gz" 2>/dev/null; then
        fail "$gz is not a gzip file"
    else
        pass "$gz"
    fi
done
[[ -f "$prefix/share/doc/tapewren/copyright" ]] || fail "share/doc/tapewren/copyright is missing"
metainfos=("$prefix"/share/metainfo/*.metainfo.xml)
if [[ -f "${metainfos[0]}" ]] && grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")<" \
    "${metainfos[0]}"; then
    pass "the AppStream metadata launches $(basename "$desktop")"
else
    fail "no share/metainfo/*.metainfo.xml that launches $(basename "$desktop")"
fi

if ((failures > 0)); then
    echo "$failures problem(s) in the install tree"
    exit 1
fi
echo "install tree: all checks passed"
