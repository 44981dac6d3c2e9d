#!/usr/bin/env bash
# The installer under wine, in a wine prefix of its own (code page 936) on a virtual display:
# a silent install for the current user, the shortcuts, the installed Stitchwell.exe started with
# the windows platform and ended through its close path (a close request to its window), an
# upgrade in place that keeps the settings and the used material, and an uninstall that removes
# the program's files and shortcuts but not the user's folders.
# Usage: installer_e2e.sh SETUP_EXE WINE64
set -euo pipefail
setup=$1 wine=$2
wineserver=$(dirname "$wine")/wineserver
[ -f "$setup" ] || { echo "FAIL: no installer at $setup (scripts/package-windows makes it)" >&2; exit 1; }
root=$(mktemp -d /tmp/sw-wine-setup.XXXXXX)
# wine links the user's Desktop and Documents to $HOME: a home of the test's own.
export HOME=$root/home
mkdir -p "$HOME"
export WINEPREFIX=$root/prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
export STITCHWELL_UPDATE_SERVER=http://127.0.0.1:9
xvfb_pid=""
finish() {
  "$wineserver" -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  [ -n "${KEEP:-}" ] || rm -rf "$root"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
wait_for() {
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 10; i++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

for n in $(seq 90 99); do
  if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then display=:$n; break; fi
done
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
wait_for 20 xdpyinfo >/dev/null 2>&1 || fail "the virtual display did not start"
"$wine" wineboot --init >/dev/null 2>&1 || fail "the wine prefix could not be made"

"$wine" "$setup" /S >/dev/null 2>&1 || fail "the silent install failed"
users=$WINEPREFIX/drive_c/users
inst=$(find "$users" -type d -path '*/AppData/Local/Programs/Stitchwell' | head -1)
[ -n "$inst" ] || fail "nothing installed under AppData\\Local\\Programs"
for f in Stitchwell.exe Pressling.dll Powerloop.exe Vidforge.dll MediaInfoT.dll Accelerate.dll \
  Qt6Core.dll Qt6Widgets.dll platforms/qwindows.dll licenses/ffmpeg-GPL-3.txt licenses/gcc-runtime.txt 卸载.exe; do
  [ -f "$inst/$f" ] || fail "the installed program folder lacks $f"
done
[ -n "$(find -L "$users" -name 'Stitchwell.lnk' -path '*esktop*')" ] || fail "no desktop shortcut"
[ -n "$(find "$users" -name 'Stitchwell.lnk' -path '*Programs/Stitchwell*')" ] || fail "no Start menu shortcut"
echo "installed into $inst"

# The installed program starts and ends through its close path.
winst=$(printf 'C:%s' "${inst#"$WINEPREFIX"/drive_c}" | tr / '\\')
(cd "$inst" && exec "$wine" "$winst\\Stitchwell.exe" >"$root/stitchwell.log" 2>&1) &
app=$!
wait_for 180 bash -c "xwininfo -root -tree 2>/dev/null | grep -q 'Stitchwell'" ||
  { cat "$root/stitchwell.log"; fail "the installed Stitchwell showed no window"; }
if [ -n "${SCREENSHOT:-}" ]; then
  sleep 3
  wid=$(xwininfo -root -tree 2>/dev/null | grep 'Stitchwell' | grep -v 'has no name' | awk '{print $1}' | head -1)
  import -window "$wid" "$SCREENSHOT"
fi
# A close request asks "关闭程序？" (Cancel the default): OK is chosen by the keyboard.
"$wine" taskkill /im Stitchwell.exe >/dev/null 2>&1 || true
wait_for 60 bash -c "xdotool search --name '^消息$' >/dev/null" || fail "the close request asked nothing"
question=$(xdotool search --name '^消息$' | head -1)
xdotool windowactivate --sync "$question" 2>/dev/null || xdotool windowfocus --sync "$question"
xdotool key --window "$question" shift+Tab space
wait_for 60 bash -c "! kill -0 $app 2>/dev/null" || fail "Stitchwell did not end on a close request"
echo "the installed Stitchwell started and closed"

# An upgrade in place keeps the settings and the user's material.
mkdir -p "$inst/已使用素材/2026-01-01/视频"
echo clip >"$inst/已使用素材/2026-01-01/视频/用过 的.mp4"
"$wine" reg add 'HKCU\Software\Stitchwell\Stitchwell\Default' /v SaveDir /d 'D:\输出' /f >/dev/null 2>&1
"$wine" "$setup" /S >/dev/null 2>&1 || fail "the second install failed"
[ -f "$inst/已使用素材/2026-01-01/视频/用过 的.mp4" ] || fail "the upgrade lost the used material"
"$wine" reg query 'HKCU\Software\Stitchwell\Stitchwell\Default' /v SaveDir 2>/dev/null | grep -q SaveDir ||
  fail "the upgrade lost the settings"
[ -f "$inst/Stitchwell.exe" ] || fail "the upgrade left no program"
echo "upgraded in place"

# The uninstaller removes the program and its shortcuts, and keeps the user's material.
touch "$inst/CompList.txt"
mkdir -p "$inst/Tmps" && touch "$inst/Tmps/0.mp4"
"$wine" "$winst\\卸载.exe" /S "_?=$winst" >/dev/null 2>&1 || fail "the uninstaller failed"
for f in Stitchwell.exe Qt6Core.dll platforms licenses Tmps CompList.txt; do
  [ ! -e "$inst/$f" ] || fail "the uninstaller left $f"
done
[ -f "$inst/已使用素材/2026-01-01/视频/用过 的.mp4" ] || fail "the uninstaller removed the used material"
[ -z "$(find -L "$users" -name 'Stitchwell.lnk')" ] || fail "the uninstaller left a shortcut"
echo "uninstalled; the used material stays"
