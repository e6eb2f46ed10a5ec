#!/bin/sh
# Builds the Debian package from a built tree, unpacks it into a scratch root and checks what a
# user gets: the package's fields and dependencies, what lintian says of it, the files it
# installs, the manual page, changelog and copyright file, the desktop entry and metainfo as the
# validators see them, and that the installed program starts.
# Usage: test_package.sh BUILD_DIR APP_ID VERSION
set -u
build=$1
app_id=$2
version=$3

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
finish() {
    [ "$failures" -eq 0 ] && echo "PASS" && exit 0
    echo "$failures check(s) failed"
    exit 1
}

[ -x "$build/pelk17" ] || { echo "FAIL: $build/pelk17 is not built"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- the package ----------------------------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    # CPack builds the whole tree first; show why that failed.
    find "$work/out" -name PreinstallOutput.log -exec tail -n 20 {} \;
    echo "FAIL: cpack did not build the package"
    exit 1
fi
arch=$(dpkg --print-architecture)
deb="$work/out/pelk17_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no $(basename "$deb")"; exit 1; }
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = pelk17 ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
echo "Depends: $depends"
# One dependency name per line, version constraints dropped.
echo "$depends" | tr ',' '\n' | sed 's/(.*//; s/[[:space:]]//g' | grep -v '^$' >"$work/depends"
depends_on() { grep -qx "$1" "$work/depends"; }
for p in fonts-ipafont-gothic; do
    depends_on "$p" || fail "Depends lacks $p"
done

# Removal is clean when everything is a plain file under /usr and no maintainer script or
# conffile can leave something behind.
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
outside=$(grep -v '^\./usr/' "$work/contents" | grep -vx '\./')
[ -z "$outside" ] || fail "files outside /usr: $outside"
# Exactly the program and its desktop files: nothing from the benchmarks, tests or fuzzers.
grep -v '/$' "$work/contents" | sort >"$work/files"
sort >"$work/expected" <<EOF
./usr/bin/pelk17
./usr/share/applications/pelk17.desktop
./usr/share/doc/pelk17/changelog.gz
./usr/share/doc/pelk17/copyright
./usr/share/icons/hicolor/128x128/apps/pelk17.png
./usr/share/icons/hicolor/32x32/apps/pelk17.png
./usr/share/icons/hicolor/64x64/apps/pelk17.png
./usr/share/man/man1/pelk17.1.gz
./usr/share/metainfo/$app_id.metainfo.xml
EOF
if ! cmp -s "$work/files" "$work/expected"; then
    fail "the package holds other files than expected:"
    diff "$work/expected" "$work/files"
fi
mkdir "$work/control"
dpkg-deb -e "$deb" "$work/control"
for script in preinst postinst prerm postrm conffiles; do
    [ ! -e "$work/control/$script" ] || fail "package carries $script"
done

# --- lintian --------------------------------------------------------------------------------
# Every error or warning fails, except these, each with its reason:
#   malformed-contact                    the project has no address for the Maintainer field
#   bogus-mail-host-in-debian-changelog  nor for the changelog's trailer line, which reads <>
allowed_tags="malformed-contact bogus-mail-host-in-debian-changelog"
if ! lintian --tag-display-limit 0 -I --fail-on none "$deb" >"$work/lintian.log" 2>"$work/lintian.err"; then
    fail "lintian did not run: $(cat "$work/lintian.err")"
fi
cat "$work/lintian.log"
while read -r level _ tag _; do
    case $level in E: | W:) ;; *) continue ;; esac
    case " $allowed_tags " in
    *" $tag "*) ;;
    *) fail "lintian: $level $tag" ;;
    esac
done <"$work/lintian.log"
for tag in $allowed_tags; do
    awk -v t="$tag" '$3 == t' "$work/lintian.log" | grep -q . \
        || echo "note: lintian no longer reports $tag; drop it from the allowed tags"
done

# --- the installed files --------------------------------------------------------------------
root="$work/root"
dpkg -x "$deb" "$root"
bin="$root/usr/bin/pelk17"
desktop="$root/usr/share/applications/pelk17.desktop"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
for f in "$bin" "$desktop" "$metainfo"; do
    [ -f "$f" ] || fail "not installed: ${f#"$root"}"
done
[ -x "$bin" ] || fail "pelk17 is not executable"
file -b "$bin" | grep -q ', stripped' || fail "pelk17 is not stripped: $(file -b "$bin")"
if readelf -d "$bin" | grep -Eq 'R(UN)?PATH'; then
    fail "pelk17 carries a run path: $(readelf -d "$bin" | grep -E 'R(UN)?PATH')"
fi

# Every library the program links directly must come from a package it depends on (what
# dpkg-shlibdeps is there to find).
ldd "$bin" >"$work/ldd" 2>&1 || fail "ldd failed: $(cat "$work/ldd")"
grep -q 'not found' "$work/ldd" && fail "unresolved libraries: $(grep 'not found' "$work/ldd")"
needed=$(readelf -d "$bin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || fail "readelf lists no libraries for pelk17"
for name in $needed; do
    lib=$(awk -v n="$name" '$1 == n && $2 == "=>" {print $3}' "$work/ldd")
    owner=
    for path in "$lib" "$(readlink -f "$lib")"; do
        [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -n1 | cut -d: -f1)
    done
    [ -n "$owner" ] || { fail "no package owns $name ($lib)"; continue; }
    depends_on "$owner" || fail "Depends lacks $owner (for $name)"
done

# The manual page renders without a warning, with the window's Japanese texts on a UTF-8
# terminal and without them (and without gaps) on an ASCII one.
man="$root/usr/share/man/man1/pelk17.1.gz"
for locale in C.UTF-8 C; do
    LC_ALL=$locale MANWIDTH=80 man --warnings -l "$man" >"$work/man.txt" 2>"$work/man.err" \
        || fail "man -l fails under $locale: $(cat "$work/man.err")"
    [ ! -s "$work/man.err" ] || fail "man -l warns under $locale: $(head -n 5 "$work/man.err")"
    if ! grep -q '^NAME' "$work/man.txt" || ! grep -q 'Pelk\.ini' "$work/man.txt"; then
        fail "man -l under $locale renders no NAME section or no Pelk.ini: $(head -n 5 "$work/man.txt")"
    fi
done
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$man" 2>/dev/null | grep -q '表示形態' \
    || fail "the manual page shows no Japanese window text on a UTF-8 terminal"
# Each window text the page quotes must be one the program shows: the program holds its texts
# in UTF-16, so look for each as UTF-16LE bytes, byte-aligned in a hex dump of the program.
od -An -tx1 -v "$bin" | tr -s ' \n' '  ' >"$work/bin.hex"
zcat "$man" | sed -n '/^\.ds J/p' | sed 's/\\(rq/\n/g' | sed -n 's/.*\\(lq//p' | sed 's/\\ / /g' \
    >"$work/quoted"
[ "$(wc -l <"$work/quoted")" -ge 5 ] || fail "found only $(wc -l <"$work/quoted") quoted window texts"
while IFS= read -r text; do
    hex=$(printf '%s' "$text" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' '  ')
    grep -qF "$hex" "$work/bin.hex" || fail "the manual page quotes '$text', which pelk17 never shows"
done <"$work/quoted"

# The changelog's latest entry is this version; the copyright file names the holder and year
# of the program's own notice and grants no license the project has not granted.
zcat "$root/usr/share/doc/pelk17/changelog.gz" >"$work/changelog"
logged=$(dpkg-parsechangelog -l "$work/changelog" -S Version 2>&1)
[ "$logged" = "$version" ] || fail "the changelog's latest version is '$logged', not $version"
copyright="$root/usr/share/doc/pelk17/copyright"
notice=$(strings -el "$bin" | sed -n 's/^Copyright (C) //p' | head -n 1)
[ -n "$notice" ] || fail "pelk17 carries no copyright notice"
grep -qx "Copyright: $notice" "$copyright" || fail "copyright file lacks 'Copyright: $notice'"
grep -qx 'License: none' "$copyright" || fail "copyright file does not say that no license is granted"

for size in 32 64 128; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/pelk17.png"
    if [ -f "$icon" ]; then
        file -b "$icon" | grep -q "PNG image data, $size x $size," \
            || fail "${icon#"$root"} is $(file -b "$icon")"
    else
        fail "not installed: ${icon#"$root"}"
    fi
done

if ! desktop-file-validate "$desktop" >"$work/dfv.log" 2>&1; then
    fail "desktop-file-validate rejects the desktop entry:"
fi
cat "$work/dfv.log"
if ! appstreamcli validate --no-net "$metainfo" >"$work/as.log" 2>&1; then
    fail "appstreamcli rejects the metainfo file:"
fi
cat "$work/as.log"

# The entry must point at what the package installs.
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Exec)" = pelk17 ] || fail "Exec is '$(entry Exec)'"
[ "$(entry Icon)" = pelk17 ] || fail "Icon is '$(entry Icon)'"
[ "$(entry Terminal)" = false ] || fail "Terminal is '$(entry Terminal)'"
[ -z "$(entry Path)" ] || fail "the entry sets Path=, so Pelk.ini would not follow the launcher"
[ -z "$(entry MimeType)" ] || fail "the entry claims file types, but the program opens none"
grep -q '<launchable type="desktop-id">pelk17.desktop</launchable>' "$metainfo" \
    || fail "metainfo does not launch pelk17.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"

# --- the installed program starts -----------------------------------------------------------
# It has no command line and runs until its window closes: a clean start is one that is still
# running when timeout ends it (status 124) and has not complained about plugins or fonts.
mkdir "$work/home"
mkdir -m 700 "$work/runtime"
(cd "$work/home" && HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    timeout -s TERM 3 "$bin" >"$work/run.out" 2>"$work/run.err")
status=$?
cat "$work/run.out" "$work/run.err"
case $status in
124) ;;
0) fail "pelk17 exited by itself at once instead of running its window" ;;
*) fail "pelk17 ended with status $status before it was stopped" ;;
esac
if grep -Eiq 'platform plugin|could not (load|find)|QFontDatabase|qt\.qpa\.fonts|fontconfig|cannot find font' \
    "$work/run.out" "$work/run.err"; then
    fail "pelk17 warned about its plugins or fonts"
fi

finish
