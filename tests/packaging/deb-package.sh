#!/usr/bin/env bash
# Builds the Debian package from the build folder, checks what it holds and what it
# depends on, unpacks it into a throw-away root and runs the installed app there.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb="$(ls "$work"/out/lumarient_*.deb)"

fail() { echo "FAIL: $*"; exit 1; }
info="$(dpkg-deb --info "$deb")"
depends="$(dpkg-deb --field "$deb" Depends)"
recommends="$(dpkg-deb --field "$deb" Recommends)"
echo "Depends: $depends"
echo "Recommends: $recommends"
grep -q '\badb\b' <<<"$depends" || fail "adb is not a dependency"
grep -q 'libqt6widgets6' <<<"$depends" || fail "the Qt libraries are not dependencies"
grep -q 'libavcodec' <<<"$depends" || fail "libavcodec is not a dependency"
grep -q '\bscrcpy\b' <<<"$recommends" || fail "scrcpy is not recommended"
[ "$(dpkg-deb --field "$deb" Package)" = lumarient ] || fail "package name: $info"

contents="$(dpkg-deb --contents "$deb")"
for path in ./usr/bin/lumarient ./usr/bin/lumarient-cli ./usr/share/applications/lumarient.desktop \
            ./usr/share/icons/hicolor/scalable/apps/lumarient.svg \
            ./usr/share/metainfo/com.corvantil.Lumarient.metainfo.xml ./usr/lib/lumarient/lumarient-video-encoder.so; do
  grep -q " $path\$" <<<"$contents" || fail "$path is missing from the package"
done

root="$work/root"
dpkg-deb --extract "$deb" "$root"
# The encoder's libraries come with its module, opened when a second display starts, not with the app.
needed() { readelf --dynamic "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
if needed "$root/usr/bin/lumarient" | grep -E '^lib(avcodec|swscale|yuv)\.'; then
  fail "the app links the encoder's libraries"
fi
needed "$root/usr/lib/lumarient/lumarient-video-encoder.so" | grep -q '^libavcodec\.' ||
  fail "the encoder module does not link libavcodec"
version="$("$root/usr/bin/lumarient" --version)"
[ "$version" = "Lumarient $2" ] || fail "--version printed '$version'"
version="$("$root/usr/bin/lumarient-cli" --version)"
[ "$version" = "lumarient-cli $2" ] || fail "lumarient-cli --version printed '$version'"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/com.corvantil.Lumarient.metainfo.xml"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/lumarient.desktop"
fi
echo "package $(basename "$deb") holds the app, its command line, its encoder module, its menu entry, icon and metainfo"
