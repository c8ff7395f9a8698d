#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs
# there, then builds the Debian package and checks its contents and
# dependencies. Usage: install-and-package.sh BUILD_DIR LIBDIR HAS_PROGRAM
set -euo pipefail
build=$1 libdir=$2 has_program=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
app_id=org.vellumo.Vellumo
desktop-file-validate "$prefix/share/applications/$app_id.desktop"
grep -qx 'Exec=vellumo %F' "$prefix/share/applications/$app_id.desktop" || fail "Exec line"
grep -q 'audio/x-mpegurl;' "$prefix/share/applications/$app_id.desktop" || fail "play-list type"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml"
grep -q '<release version="[0-9]' "$prefix/share/metainfo/$app_id.metainfo.xml" ||
  fail "the metainfo's version was not filled in"

for size in 16 32 48 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
  [ -s "$png" ] || fail "no ${size}px icon"
  file "$png" | grep -q "$size x $size" || fail "$png is not ${size}x${size}: $(file "$png")"
done
[ -s "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"

# The commands find the device library through their run path, from the
# prefix and not from the build tree.
private=$prefix/$libdir/vellumo
[ -f "$private/libDmpVellumo.so" ] || fail "no library in $private"
found=$(ldd "$prefix/bin/vellumoctl" | sed -n 's/.*libDmpVellumo.so => \(.*\) (0x.*/\1/p')
[ -n "$found" ] && [ "$(readlink -f "$found")" = "$(readlink -f "$private/libDmpVellumo.so")" ] ||
  fail "vellumoctl does not find the installed library: '$found'"
"$prefix/bin/vellumoctl" --help >/dev/null
[ -x "$prefix/bin/vellumo-boxsim" ] || fail "no vellumo-boxsim"
if [ "$has_program" = 1 ]; then
  # The program looks for the library in the folder its link leads to.
  [ "$(dirname "$(readlink -f "$prefix/bin/vellumo")")" = "$(readlink -f "$private")" ] ||
    fail "bin/vellumo does not lead to the library's folder"
  # The setup page's module is looked for beside the program.
  [ -f "$(dirname "$(readlink -f "$prefix/bin/vellumo")")/vellumo-remote-page.so" ] ||
    fail "no setup page module beside the program"
fi

mkdir "$work/package"
(cd "$work/package" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >cpack.log) ||
  { cat "$work/package/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/package/vellumo_*.deb)
dpkg-deb -c "$deb" | tee "$work/contents"
for path in ./usr/bin/vellumoctl ./usr/bin/vellumo-boxsim "./usr/$libdir/vellumo/libDmpVellumo.so" \
  "./usr/share/applications/$app_id.desktop" "./usr/share/metainfo/$app_id.metainfo.xml" \
  "./usr/share/icons/hicolor/scalable/apps/$app_id.svg"; do
  grep -q " $path\$" "$work/contents" || fail "the package lacks $path"
done
if [ "$has_program" = 1 ]; then
  grep -q " ./usr/bin/vellumo -> " "$work/contents" || fail "the package lacks the program's link"
  grep -q " ./usr/$libdir/vellumo/vellumo-remote-page.so\$" "$work/contents" ||
    fail "the package lacks the setup page module"
fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in libc6 libcurl4 qt6-qpa-plugins; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed"
done
