#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs
# there, then builds the Debian packages and checks them as a packager would:
# their contents and dependencies, lintian, the manual pages, and the
# programs' --help and --version from the unpacked package without a display.
# Usage: install-and-package.sh BUILD_DIR PKGLIBDIR HAS_PROGRAM SOURCE_DIR VERSION
set -euo pipefail
build=$1 pkglibdir=$2 has_program=$3 source=$4 version=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
app_id=org.vellumo.Vellumo
desktop-file-validate "$prefix/share/applications/$app_id.desktop"
grep -qx 'Exec=vellumo %F' "$prefix/share/applications/$app_id.desktop" || fail "Exec line"
grep -q 'audio/x-mpegurl;' "$prefix/share/applications/$app_id.desktop" || fail "play-list type"
appstreamcli validate --strict --no-net "$prefix/share/metainfo/$app_id.metainfo.xml"
grep -q '<release version="[0-9]' "$prefix/share/metainfo/$app_id.metainfo.xml" ||
  fail "the metainfo's version was not filled in"
grep -qx "Exec=$prefix/bin/vellumo -Embedding" "$prefix/share/dbus-1/services/$app_id.service" ||
  fail "the D-Bus service file does not start the installed program"
[ ! -e "$prefix/include" ] || fail "a header is installed, but no package can build against it"

for size in 16 32 48 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
  [ -s "$png" ] || fail "no ${size}px icon"
  file "$png" | grep -q "$size x $size" || fail "$png is not ${size}x${size}: $(file "$png")"
done
[ -s "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"

# The commands find the device library through their run path, from the
# prefix and not from the build tree.
private=$prefix/$pkglibdir
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
cd "$work/package"
ls -l ./*.deb ./*.ddeb
main=$(ls vellumo_*.deb) boxsim=$(ls vellumo-boxsim_*.deb)
[ "$(ls ./*.deb ./*.ddeb | wc -l)" = 4 ] || fail "not four packages: $(ls ./*.deb ./*.ddeb)"
contents() { dpkg-deb -c "$1" >"$work/listing" && awk '{ print $6 }' "$work/listing"; }
has() { grep -qx "$2" <(contents "$1") || fail "$1 lacks $2"; }
lacks() { ! grep -q "$2" <(contents "$1") || fail "$1 holds $2"; }
docs=./usr/share/doc man=./usr/share/man/man1
for path in ./usr/bin/vellumoctl "./usr/$pkglibdir/libDmpVellumo.so" \
  "./usr/share/applications/$app_id.desktop" "./usr/share/metainfo/$app_id.metainfo.xml" \
  "./usr/share/icons/hicolor/scalable/apps/$app_id.svg" "./usr/share/dbus-1/services/$app_id.service" \
  $man/vellumoctl.1.gz $docs/vellumo/copyright $docs/vellumo/changelog.Debian.gz; do
  has "$main" "$path"
done
lacks "$main" vellumo-boxsim
lacks "$main" ./usr/include
for path in ./usr/bin/vellumo-boxsim $man/vellumo-boxsim.1.gz $docs/vellumo-boxsim/copyright \
  $docs/vellumo-boxsim/changelog.Debian.gz; do
  has "$boxsim" "$path"
done
if [ "$has_program" = 1 ]; then
  has "$main" "./usr/$pkglibdir/vellumo-remote-page.so"
  has "$main" $man/vellumo.1.gz
  dpkg-deb -c "$main" >"$work/listing"
  grep -q " ./usr/bin/vellumo -> " "$work/listing" || fail "the package lacks the program's link"
fi

depends=$(dpkg-deb -f "$main" Depends)
echo "Depends: $depends"
for needed in libc6 libcurl4 qt6-qpa-plugins; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed"
done
[[ $(dpkg-deb -f "$main" Version) == "$version"-* ]] || fail "the package's version is not $version"
[ "$(dpkg-deb -f "$boxsim" Section)" = devel ] || fail "vellumo-boxsim is not in devel"
# The private library needs no ldconfig: no maintainer script calls it.
for deb in "$main" "$boxsim"; do
  dpkg-deb -e "$deb" "$work/control-$deb"
  ! grep -rs ldconfig "$work/control-$deb" || fail "$deb calls ldconfig"
done

# Stripped programs; their debug information in the -dbgsym packages.
dpkg-deb -x "$main" "$work/main"
dpkg-deb -x "$boxsim" "$work/boxsim"
for program in "$work/main/usr/bin/vellumoctl" "$work/main/usr/$pkglibdir/libDmpVellumo.so" \
  "$work/boxsim/usr/bin/vellumo-boxsim"; do
  file -L "$program" | grep -q ', stripped' || fail "$program is not stripped"
done
for dbgsym in vellumo-dbgsym_*.ddeb vellumo-boxsim-dbgsym_*.ddeb; do
  grep -q '^./usr/lib/debug/.build-id/.*\.debug$' <(contents "$dbgsym") || fail "$dbgsym holds no debug file"
  (cd "$work" && dpkg-deb -x "$OLDPWD/$dbgsym" "dbgsym" && dpkg-deb --ctrl-tarfile "$OLDPWD/$dbgsym" |
    tar -xO ./md5sums | (cd dbgsym && md5sum --quiet -c)) || fail "$dbgsym: its md5sums do not match"
done

# lintian, as on the archive's packages, on every package; a tag that a
# package overrides must say why, above it, in packaging/lintian/.
for overrides in "$source"/packaging/lintian/*; do
  [ -e "$overrides" ] || continue
  awk '!/^#/ && NF && prev !~ /^#/ { bad = 1; print FILENAME ": no reason above " $0 } { prev = $0 }
       END { exit bad }' "$overrides" >&2 || fail "an override without its reason"
done
for package in ./*.deb ./*.ddeb; do
  # lintian takes a package only by the name .deb.
  cp "$package" "$work/lint.deb"
  lintian --fail-on error,warning --display-level '>=warning' "$work/lint.deb" ||
    fail "lintian on $package"
done

# Without a display or a bus: --help and --version answer on the terminal,
# an unknown option or --version among others is a usage error.
export -n DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
expect() { # EXIT_CODE OUTPUT_PATTERN PROGRAM ARGS...
  local code=$1 pattern=$2 out status=0
  shift 2
  out=$("$@" 2>&1) || status=$?
  [ "$status" = "$code" ] || fail "$*: exit $status, not $code: $out"
  grep -q -- "$pattern" <<<"$out" || fail "$*: no '$pattern' in: $out"
}
programs=("$work/main/usr/bin/vellumoctl" "$work/boxsim/usr/bin/vellumo-boxsim")
[ "$has_program" = 1 ] && programs+=("$work/main/usr/bin/vellumo")
for program in "${programs[@]}"; do
  name=$(basename "$program")
  expect 0 "^$name $version\$" "$program" --version
  expect 0 "^usage: $name" "$program" --help
  expect 2 "^usage: $name" "$program" --no-such-option
  expect 2 "^usage: $name" "$program" --version --help
done
expect 2 "^usage: vellumoctl" "$work/main/usr/bin/vellumoctl" --version play
if [ "$has_program" = 1 ]; then
  expect 2 "unknown option '-x'" "$work/main/usr/bin/vellumo" --iface lo -x
  expect 2 "^usage: vellumo" "$work/main/usr/bin/vellumo" --version --iface lo
  for option in --iface -closefirewall -upgrade -openfirewall; do
    expect 0 "$option" "$work/main/usr/bin/vellumo" --help
  done
fi

# Each manual page renders without a warning and names every option that its
# program's --help lists.
for program in "${programs[@]}"; do
  name=$(basename "$program")
  page=$(find "$work" -path "*/usr/share/man/man1/$name.1.gz" | head -n 1)
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" >/dev/null 2>"$work/$name.err"
  [ ! -s "$work/$name.err" ] || fail "man -l $name.1.gz: $(cat "$work/$name.err")"
  # Wide, so that no option is broken across lines.
  LC_ALL=C.UTF-8 MANWIDTH=1000 man -l "$page" >"$work/$name.txt"
  for option in $("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" "$work/$name.txt" || fail "the manual page of $name lacks $option"
  done
done

desktop-file-validate "$work/main/usr/share/applications/$app_id.desktop"
appstreamcli validate --strict --no-net "$work/main/usr/share/metainfo/$app_id.metainfo.xml"
echo "packages: $(ls ./*.deb ./*.ddeb | tr '\n' ' ')"
