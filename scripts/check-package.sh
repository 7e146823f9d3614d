#!/usr/bin/env bash
# Builds Tapewren's Debian package in a configured build folder and checks its metadata and
# contents: the program's folder, the command on PATH, the desktop entry and icons, the documents
# (copyright, changelog, manual pages, AppStream metadata), a Depends that covers every library
# the program links and the files it loads at run time, and what lintian finds (any error fails).
#
# Usage: scripts/check-package.sh BUILD_DIR
set -uo pipefail

build=${1:?usage: scripts/check-package.sh BUILD_DIR}
build=$(cd "$build" && pwd) || exit 1
# The version the build was configured with, from the project() call.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null)
if [[ -z "$version" ]]; then
    echo "FAIL: no CMAKE_PROJECT_VERSION in $build/CMakeCache.txt (not a configured build folder?)"
    exit 1
fi

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d /tmp/tapewren-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

rm -f "$build"/tapewren_*.deb
if ! (cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack -G DEB"
    exit 1
fi
shopt -s nullglob
debs=("$build"/tapewren_"$version"*.deb)
if ((${#debs[@]} != 1)); then
    ls "$build"/*.deb 2>/dev/null
    echo "FAIL: expected one tapewren_$version*.deb in $build, found ${#debs[@]}"
    exit 1
fi
deb=${debs[0]}
echo "== $deb"
dpkg-deb --info "$deb"

field() {
    dpkg-deb --field "$deb" "$1"
}

# Metadata
[[ "$(field Package)" == tapewren ]] || fail "Package is '$(field Package)'"
debVersion=$(field Version)
[[ "${debVersion%-*}" == "$version" ]] || fail "Version is '$debVersion', not $version-N"
[[ "$(field Architecture)" == "$(dpkg --print-architecture)" ]] ||
    fail "Architecture is '$(field Architecture)'"
[[ "$(field Section)" == sound ]] || fail "Section is '$(field Section)', not sound"
[[ -n "$(field Maintainer)" ]] || fail "no Maintainer"
[[ -n "$(field Description)" ]] || fail "no Description"

# Depends as "name op version" lines, one per alternative, each prefixed by its clause number.
depends=$(field Depends)
clauses=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ *$//' | grep -v '^$')
dependedNames=$(tr '|' '\n' <<<"$clauses" | sed 's/^ *//; s/[ (:].*//' | sort -u)
depends_on() {
    grep -qx "$1" <<<"$dependedNames"
}

# Linked, and what the program loads at run time: the X11 platform plugin, the Chinese font,
# Qt's Chinese texts, xdg-open for Help and the links.
for package in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins \
    libsndfile1 libsoxr0 libpulse0 fonts-wqy-microhei qt6-translations-l10n xdg-utils; do
    depends_on "$package" || fail "Depends does not name $package"
done

# Every clause must be satisfiable by what is installed here, where the package was built and
# tested: a minimum version above Debian 12's would make it uninstallable there.
while IFS= read -r clause; do
    satisfied=""
    while IFS= read -r alternative; do
        name=$(sed 's/^ *//; s/[ (].*//' <<<"$alternative")
        installed=$(dpkg-query -W -f='${Status} ${Version}\n' "$name" 2>/dev/null |
            sed -n 's/^install ok installed //p' | head -n1)
        [[ -n "$installed" ]] || continue
        if [[ "$alternative" =~ \(([<>=]+)\ *([^\)]+)\) ]]; then
            op=${BASH_REMATCH[1]}
            wanted=${BASH_REMATCH[2]// /}
            case "$op" in
            '>=') op=ge ;; '<=') op=le ;; '>>') op=gt ;; '<<') op=lt ;; '=') op=eq ;;
            esac
            dpkg --compare-versions "$installed" "$op" "$wanted" || continue
        fi
        satisfied=1
        break
    done < <(tr '|' '\n' <<<"$clause")
    [[ -n "$satisfied" ]] || fail "Depends clause '$clause' is not satisfied on this system"
done <<<"$clauses"

# Contents
contents=$(dpkg-deb --contents "$deb")
echo "$contents"
has_entry() {
    # $1: type letter from the listing's mode (- file, l link, d folder); $2: path from ./
    awk -v type="$1" -v path="./$2" \
        'substr($1, 1, 1) == type && $6 == path { found = 1 } END { exit !found }' <<<"$contents"
}
programDir=usr/lib/tapewren
for file in tapewren default.skn readme.txt; do
    has_entry - "$programDir/$file" || fail "$programDir/$file is not in the package"
done
has_entry l usr/bin/tapewren || fail "usr/bin/tapewren is not a link in the package"
desktops=$(awk '$6 ~ /^\.\/usr\/share\/applications\/.*\.desktop$/ { print substr($6, 3) }' \
    <<<"$contents")
[[ $(wc -w <<<"$desktops") == 1 ]] ||
    fail "expected one usr/share/applications/*.desktop, found: ${desktops:-none}"
for size in 16x16 48x48; do
    has_entry - "usr/share/icons/hicolor/$size/apps/tapewren.png" || fail "no $size icon"
done
has_entry - usr/share/icons/hicolor/128x128/apps/tapewren.png ||
    has_entry - usr/share/icons/hicolor/scalable/apps/tapewren.svg ||
    fail "no 128x128 or scalable icon"
docDir=usr/share/doc/tapewren
for file in "$docDir/copyright" "$docDir/changelog.Debian.gz" usr/share/man/man1/tapewren.1.gz \
    usr/share/man/zh_CN/man1/tapewren.1.gz; do
    has_entry - "$file" || fail "$file is not in the package"
done
metainfos=$(awk '$6 ~ /^\.\/usr\/share\/metainfo\/.*\.metainfo\.xml$/ { print substr($6, 3) }' \
    <<<"$contents")
[[ $(wc -w <<<"$metainfos") == 1 ]] ||
    fail "expected one usr/share/metainfo/*.metainfo.xml, found: ${metainfos:-none}"
if grep -v '^d' <<<"$contents" | awk '{ print $6 }' | grep -qv '^\./usr/'; then
    fail "the package installs outside /usr"
fi

# Unpacked: the command resolves into the program's folder, the desktop entry is valid, and
# every library the executable needs comes from a package that Depends names.
root="$work/root"
dpkg-deb -x "$deb" "$root"
target=$(readlink "$root/usr/bin/tapewren")
[[ "$target" != /* ]] || fail "usr/bin/tapewren is an absolute link: $target"
[[ "$(readlink -f "$root/usr/bin/tapewren")" == "$root/$programDir/tapewren" ]] ||
    fail "usr/bin/tapewren points to '$target', not the program's folder"
if command -v desktop-file-validate >/dev/null; then
    for desktop in $desktops; do
        desktop-file-validate "$root/$desktop" || fail "desktop-file-validate rejects $desktop"
    done
else
    fail "desktop-file-validate is not installed (desktop-file-utils)"
fi
iconv -f UTF-8 -t UTF-8 "$root/$programDir/readme.txt" >/dev/null 2>&1 ||
    fail "readme.txt is not valid UTF-8"

# The gzip files carry no name and no time stamp (flag byte and mtime all zero), so that
# rebuilding the same sources gives the same package.
while IFS= read -r gz; do
    header=$(od -An -tx1 -j3 -N5 "$root/$gz" | tr -d ' \n')
    [[ "$header" == 0000000000 ]] || fail "$gz keeps a file name or time stamp (gzip without -n)"
done < <(cd "$root" && find . -name '*.gz' | sed 's|^\./||')

# The changelog entry is for this very package version.
changelog="$root/$docDir/changelog.Debian.gz"
if [[ -f "$changelog" ]]; then
    entryVersion=$(zcat "$changelog" | dpkg-parsechangelog -l- -SVersion 2>&1)
    [[ "$entryVersion" == "$debVersion" ]] ||
        fail "changelog.Debian's entry is for '$entryVersion', the package is $debVersion"
fi
copyright="$root/$docDir/copyright"
if [[ -f "$copyright" ]]; then
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
        "$copyright" || fail "copyright is not in the machine-readable format"
    grep -q '/usr/share/common-licenses/GPL-3' "$copyright" ||
        fail "copyright does not point to the GPL-3 text on the system"
fi

# The AppStream metadata: valid, for this release, launching the packaged desktop entry.
for metainfo in $metainfos; do
    if ! command -v appstreamcli >/dev/null; then
        fail "appstreamcli is not installed (appstream)"
        break
    fi
    appstreamcli validate --no-net "$root/$metainfo" ||
        fail "appstreamcli validate rejects $metainfo"
    grep -q "<release version=\"$version\"" "$root/$metainfo" ||
        fail "$metainfo has no release $version"
    launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' \
        "$root/$metainfo")
    [[ -n "$launchable" && -f "$root/usr/share/applications/$launchable" ]] ||
        fail "$metainfo launches '$launchable', which is not in usr/share/applications"
    # desktops tell the running program's windows by the entry named after its id
    appId=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$root/$metainfo")
    [[ "$launchable" == "$appId.desktop" ]] ||
        fail "the desktop entry '$launchable' is not named after the app id '$appId'"
done

executable="$root/$programDir/tapewren"
if readelf -d "$executable" | grep -qE 'R(UN)?PATH'; then
    fail "the packaged executable carries a run path: $(readelf -d "$executable" | grep PATH)"
fi
libraries=$(ldd "$executable")
while IFS= read -r soname; do
    # ldd names the dynamic loader by its path alone
    path=$(awk -v so="$soname" '($1 == so && $2 == "=>") { print $3 }
        ($1 ~ "/" so "$") { print $1 }' <<<"$libraries")
    if [[ -z "$path" || "$path" == "not" ]]; then
        fail "$soname is not found on this system"
        continue
    fi
    owner=""
    for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
        owner=$(dpkg-query -S "$candidate" 2>/dev/null | head -n1 | cut -d: -f1)
        [[ -n "$owner" ]] && break
    done
    if [[ -z "$owner" ]]; then
        fail "no installed package owns $soname ($path)"
    elif ! depends_on "$owner"; then
        fail "$soname comes from $owner, which Depends does not name"
    fi
done < <(readelf -d "$executable" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')

# lintian: errors fail the check, warnings and notes are shown.
if command -v lintian >/dev/null; then
    echo "== lintian"
    lintian --display-info --tag-display-limit 0 --fail-on error "$deb" >"$work/lintian.log" 2>&1
    status=$?
    grep -v 'running with root privileges is not recommended' "$work/lintian.log"
    if grep -q '^E: ' "$work/lintian.log"; then
        fail "lintian reports errors"
    elif ((status != 0)); then
        fail "lintian ended with status $status"
    fi
else
    fail "lintian is not installed"
fi

if ((failures > 0)); then
    echo "check-package: $failures problem(s) in $(basename "$deb")"
    exit 1
fi
echo "check-package: $(basename "$deb") is complete"
