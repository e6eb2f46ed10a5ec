#!/bin/sh
# Builds the Debian package from a built tree, unpacks it into a scratch root and checks what a
# user gets: the package's fields and dependencies, the files it installs, the desktop entry and
# metainfo as the validators see them, and that the installed program starts.
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
./usr/share/icons/hicolor/128x128/apps/pelk17.png
./usr/share/icons/hicolor/32x32/apps/pelk17.png
./usr/share/icons/hicolor/64x64/apps/pelk17.png
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
