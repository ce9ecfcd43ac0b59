#!/usr/bin/env bash
# The Debian package as a user meets it: built, unpacked with dpkg-deb, its
# files and declared dependencies checked, lintian without errors, and the
# unpacked program started from a folder it may not write: its settings and
# list must land under the user's HOME. A writable copy of the same folder
# keeps them beside the program instead.
# The per-user install of a build folder holds the same program.
#   package_test.sh <source tree> <build folder>
set -euo pipefail
src=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)
tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb="$src/$("$src/scripts/package.sh" | tail -n 1)"
[ -f "$deb" ] || fail "no package at $deb"
case "${deb##*/}" in pelumir_*_"$(dpkg --print-architecture)".deb) ;; *) fail "package name ${deb##*/}" ;; esac

# --- the files
dpkg-deb -x "$deb" "$tmp/root"
expected=(usr/lib/pelumir/pelumir usr/lib/pelumir/pelumir-decoder usr/lib/pelumir/pelumir.hlp usr/share/applications/pelumir.desktop
          usr/share/metainfo/org.example.pelumir.metainfo.xml
          usr/share/doc/pelumir/copyright usr/share/doc/pelumir/changelog.gz usr/share/man/man1/pelumir.1.gz)
for icon in "$src"/resources/pelumir-*.png; do
  size=${icon##*-}; size=${size%.png}
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/pelumir.png")
done
for size in 48 64 128 256; do  # what launchers and software centres show
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/pelumir.png")
done
for f in "${expected[@]}"; do [ -f "$tmp/root/$f" ] || fail "missing /$f"; done
# A software centre finds it: the metainfo is valid and names the desktop entry.
meta="$tmp/root/usr/share/metainfo/org.example.pelumir.metainfo.xml"
appstreamcli validate --no-net "$meta" || fail "appstreamcli rejects the metainfo"
grep -q '<launchable type="desktop-id">pelumir.desktop</launchable>' "$meta" || fail "the metainfo names no desktop entry"
[ -x "$tmp/root/usr/lib/pelumir/pelumir" ] || fail "the program is not executable"
[ "$(readlink "$tmp/root/usr/bin/pelumir")" = ../lib/pelumir/pelumir ] || fail "/usr/bin/pelumir is no link to the program"
extra=$(cd "$tmp/root" && find . ! -type d | sed 's|^\./||' | sort | grep -vxF -f <(printf '%s\n' "${expected[@]}" usr/bin/pelumir) || true)
[ -z "$extra" ] || fail "unexpected files: $extra"

# --- what it declares it needs
depends=$(dpkg-deb -f "$deb" Depends)
for need in 'libqt6widgets6' 'libqt6gui6' 'libjpeg62-turbo' 'libexif12' 'libseccomp2' 'liblcms2-2' 'libjxl0\.7 \(>= 0\.7' 'libheif1 \(>= 1\.13' \
            'libicu[0-9]+' 'fonts-ipafont-gothic'; do
  grep -Eq "(^|[ ,|])$need( |,|$|\.)" <<<"$depends" || fail "Depends lacks $need: $depends"
done
# Every picture byte is read by the decoder process: the program links no
# image library, the decoder no Qt; libheif and libjxl are opened, not linked.
! readelf -d "$tmp/root/usr/lib/pelumir/pelumir" | grep -qE 'NEEDED.*\[lib(jpeg|png|webp|gif|tiff|exif|heif|jxl|lcms)' \
  || fail "the program links an image library"
! readelf -d "$tmp/root/usr/lib/pelumir/pelumir-decoder" | grep -qE 'NEEDED.*\[lib(Qt|heif|jxl)' \
  || fail "the decoder links Qt, libheif or libjxl"
readelf -d "$tmp/root/usr/lib/pelumir/pelumir-decoder" | grep -qE 'NEEDED.*\[libseccomp' || fail "the decoder has no sandbox"
recommends=$(dpkg-deb -f "$deb" Recommends)
for want in fonts-noto-color-emoji libc-l10n; do
  grep -Eq "(^|[ ,|])$want( |,|$)" <<<"$recommends" || fail "Recommends lacks $want: $recommends"
done

lintian --fail-on error "$deb" || fail "lintian reports errors"

# --- installed for one user, as README says
cmake --install "$bin" --prefix "$tmp/user" >/dev/null
for f in pelumir pelumir-decoder pelumir.hlp pelumir.desktop org.example.pelumir.metainfo.xml; do
  [ -f "$tmp/user/$f" ] || fail "the per-user install lacks $f"
done
appstreamcli validate --no-net "$tmp/user/org.example.pelumir.metainfo.xml" >/dev/null \
  || fail "appstreamcli rejects the per-user metainfo"
grep -q 'cp ~/.local/opt/pelumir/org.example.pelumir.metainfo.xml ~/.local/share/metainfo/' "$src/README.md" \
  || fail "README does not say where the metainfo goes"

# --- started from a read-only folder, as a plain user
chmod 755 "$tmp"
chmod -R a-w "$tmp/root"
mkdir "$tmp/home" "$tmp/portable"
cp -a "$tmp/root/usr/lib/pelumir/." "$tmp/portable/"
chmod u+w "$tmp/portable"
echo x >"$tmp/photo.jpg"
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  # Root may write anywhere; a plain user is who meets the read-only folder.
  chown -R nobody "$tmp/home" "$tmp/portable"
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

# The server picks a free display itself and names it once it takes
# connections: no race with servers other test runs start.
: >"$tmp/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset -ac 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 300); do grep -q '[0-9]' "$tmp/display" && break; sleep 0.1; done
grep -q '[0-9]' "$tmp/display" || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
export DISPLAY=":$(tr -dc 0-9 <"$tmp/display")"

# start_and_end <program>: starts it with photo.jpg, waits for its window,
# then ends it as a log-off would (SIGTERM saves what closing saves).
start_and_end() {
  env -i PATH=/usr/bin:/bin HOME="$tmp/home" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 \
    "${run_as[@]}" "$1" "$tmp/photo.jpg" >"$tmp/program.log" 2>&1 &
  local pid=$!
  xdotool search --sync --onlyvisible --name '^Pelumir' >/dev/null &
  local waiter=$!
  for _ in $(seq 300); do kill -0 "$waiter" 2>/dev/null || break; sleep 0.1; done
  kill "$waiter" 2>/dev/null && fail "no window from $1: $(cat "$tmp/program.log")"
  kill -TERM "$pid"
  for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$1 did not end on SIGTERM"
  wait "$pid" || true
}

start_and_end "$tmp/root/usr/bin/pelumir"
cfg="$tmp/home/.config/pelumir"
[ -f "$cfg/plm.ini" ] || fail "no plm.ini under HOME: $(find "$tmp/home" | tr '\n' ' ') $(cat "$tmp/program.log")"
grep -q "$tmp/photo.jpg" "$cfg/default.txt" || fail "the list was not saved under HOME"
grep -q '^DefaultFileName="default.txt"' "$cfg/plm.ini" || fail "plm.ini names the list relative to another folder"
[ "$(stat -c %a "$cfg")" = 700 ] || fail "$cfg is not private"
[ -z "$(find "$tmp/root" -newer "$tmp/photo.jpg" ! -type d)" ] || fail "something was written beside the installed program"

start_and_end "$tmp/portable/pelumir"
[ -f "$tmp/portable/plm.ini" ] && grep -q "$tmp/photo.jpg" "$tmp/portable/default.txt" \
  || fail "a writable copy did not keep its files beside itself"
echo "package ${deb##*/}: files, dependencies, lintian and the user's settings folder as expected"
