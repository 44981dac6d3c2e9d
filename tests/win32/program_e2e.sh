#!/usr/bin/env bash
# The Windows program end to end under wine, in a wine prefix of its own with the code page of a
# Chinese Windows (936): the staged program folder (bin/) with the driven Stitchwell in the place
# of Stitchwell.exe, the Windows transcoder and the media library's DLL; clip, music and output
# folders whose paths hold blanks and Chinese characters. Made and checked with this machine's
# ffmpeg and ffprobe:
#   1. two videos of the target length, size and frame rate, each with a music track; their clips
#      and mp3 files moved into the dated used-material folders; Pressling re-compresses the
#      listed videos in place;
#   2. Stitchwell killed while a clip is normalised leaves no transcoder running.
# Usage: program_e2e.sh BIN_DIR DRIVEN_EXE WINE64
set -euo pipefail
bin=$1 driven=$2 wine=$3
wineserver=$(dirname "$wine")/wineserver
root=$(mktemp -d /tmp/sw-wine-e2e.XXXXXX)
export WINEPREFIX=$root/prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# Qt's variables reach a Windows program under wine with the prefix WINE.
export WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\opentype\noto'
# No test reaches the real update server.
export STITCHWELL_UPDATE_SERVER=http://127.0.0.1:9
finish() {
  "$wineserver" -k 2>/dev/null || true
  [ -n "${KEEP:-}" ] || rm -rf "$root"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -z "${control:-}" ] || tail -n 30 "$control/status.log" "$control/wine.log" >&2 || true
  exit 1
}
win() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
ini() { local p; p=$(win "$1"); printf '%s' "${p//\\/\\\\}"; }
probe() { ffprobe -v error -select_streams "$2" -show_entries "$3" -of csv=p=0 "$1" | head -1; }

"$wine" wineboot --init >/dev/null 2>&1 || fail "the wine prefix could not be made"

# One program folder per scenario, with material of its own.
stage() {
  local name=$1
  prog="$root/$name/程序 文件夹"
  mkdir -p "$root/$name"
  cp -r "$bin" "$prog"
  cp "$driven" "$prog/Stitchwell.exe"
  out="$root/$name/输出 视频"
  used="$root/$name/已用 素材"
  music="$root/$name/背景 音乐"
  control="$root/$name/control"
  mkdir -p "$out" "$music" "$control"
  sources=()
  local i
  for i in 一 二 三; do sources+=("$root/$name/素材 $i"); mkdir -p "$root/$name/素材 $i"; done
  printf '[Default]\r\nAccelerate=1\r\nSaveDir=%s\r\nMoveDir=%s\r\n' "$(ini "$out")" \
    "$(ini "$used")" >"$root/$name/settings.ini"
}

clip() {  # clip FILE SIZE SECONDS
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=$2:rate=25:duration=$3" -f lavfi \
    -i "sine=frequency=440:duration=$3" -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$1"
}

run_job() {  # run_job NAME LINES... ; starts the driven Stitchwell in the background
  local name=$1
  shift
  {
    printf 'settings=%s\ncontrol=%s\n' "$(win "$root/$name/settings.ini")" "$(win "$control")"
    local s
    for s in "${sources[@]}"; do printf 'source=%s\n' "$(win "$s")"; done
    printf 'music=%s\n' "$(win "$music")"
    printf '%s\n' "$@"
  } >"$control/job.txt"
  (cd "$prog" && exec "$wine" "$prog/Stitchwell.exe" "$(win "$control/job.txt")" \
    >"$control/wine.log" 2>&1) &
  driven_pid=$!
}

wait_for() {  # wait_for SECONDS COMMAND...
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 10; i++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# Processes by a pattern of their command lines ("[x]" keeps the pattern from matching itself).
running() { pgrep -f "$1" >/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null; }
compression_done() { [ ! -e "$prog/CompList.txt" ] && ! running '[C]ompVidforge\.exe|[P]ressling\.exe'; }
no_transcoder() { ! running "[V]idforge\.exe"; }

# ---- 1. two videos ---------------------------------------------------------------------------
stage make
for i in 0 1 2; do
  clip "${sources[$i]}/片段 a'$i.mp4" 176x144 2
  clip "${sources[$i]}/clip b $i.mp4" 144x176 2
done
# A name the code page 936 cannot carry: set aside with a status line, never lost or mangled.
uncarried="clip ก.mp4"
clip "${sources[0]}/$uncarried" 176x144 2
ffmpeg -v error -y -f lavfi -i "sine=frequency=300:duration=20" -c:a libmp3lame "$music/乐曲 一.mp3"
ffmpeg -v error -y -f lavfi -i "sine=frequency=500:duration=20" -c:a libmp3lame "$music/song two.mp3"
run_job make length=5 size=144×204 bits=800 parallel=1 compress=1 stopAfter=2
wait_for 900 ended "$driven_pid" || fail "the run did not end"
grep -q '^E' "$control/status.log" || { cat "$control/wine.log" "$control/status.log"; fail "the window did not close"; }
# Pressling works on after the window closed: the list is consumed and its transcoder ends.
wait_for 600 compression_done || fail "Pressling did not finish the compression list"

videos=$(cd "$out" && ls)
[ "$videos" = $'000000.mp4\n000001.mp4' ] || fail "the output folder holds: $videos"
for v in 000000.mp4 000001.mp4; do
  f="$out/$v"
  d=$(probe "$f" v:0 format=duration)
  awk -v d="$d" 'BEGIN { exit !(d > 4.5 && d < 5.5) }' || fail "$v lasts $d s, not 5"
  [ "$(probe "$f" v:0 stream=width,height)" = "144,204" ] || fail "$v is not 144×204"
  [ "$(probe "$f" v:0 stream=avg_frame_rate)" = "25/1" ] || fail "$v is not 25 fps"
  [ -n "$(probe "$f" a:0 stream=codec_name)" ] || fail "$v has no music track"
  # Pressling's re-encoding (crf 32) leaves far less than the run's 800 kbit/s.
  rate=$(probe "$f" v:0 stream=bit_rate)
  [ "$rate" -lt 500000 ] || fail "$v was not re-compressed (video at $rate bit/s)"
done
# The run log tells of both videos and of both compressions.
runlog=$(cat "$prog/日志/"*.txt)
for v in 000000.mp4 000001.mp4; do
  grep -q "已生成视频：.*$v" <<<"$runlog" || fail "the run log does not tell of $v: $runlog"
  grep -q "后台压缩完成：.*$v" <<<"$runlog" || fail "the run log does not tell of $v's compression: $runlog"
done
date_folder=$(find "$used" -mindepth 1 -maxdepth 1 -type d | head -1)
[ -n "$date_folder" ] || fail "no dated used-material folder"
[ "$(find "$date_folder/视频" -type f | wc -l)" = 6 ] || fail "not six clips moved: $(ls -R "$used")"
[ "$(find "$date_folder/音频" -type f | wc -l)" = 2 ] || fail "not two mp3 files moved: $(ls -R "$used")"
[ -f "$date_folder/视频/片段 a'0.mp4" ] || [ -f "${sources[0]}/片段 a'0.mp4" ] || fail "a clip was lost"
[ "$(ls "${sources[0]}")" = "$uncarried" ] || fail "the uncarried clip moved or vanished: $(ls "${sources[0]}")"
grep -q "状态：视频文件无法使用，已跳过：" "$control/status.log" || fail "no status line for the uncarried clip"
grep -q "本次运行中不再使用：.*clip " <<<"$runlog" || fail "the run log does not tell of the uncarried clip"
for s in "${sources[@]:1}"; do
  [ -z "$(ls "$s")" ] || fail "clips left in $s: $(ls "$s")"
done
echo "videos made, material moved, videos re-compressed"

# ---- 2. a kill during a clip's normalisation ---------------------------------------------------
stage kill
for i in 0 1 2; do clip "${sources[$i]}/长 片段 $i.mp4" 1280x720 20; done
ffmpeg -v error -y -f lavfi -i "sine=frequency=300:duration=20" -c:a libmp3lame "$music/乐曲.mp3"
# the clips below the folder, the copy's claim folder included
clips_below() { (cd "$1" && find . -type f -printf '%f\n' | sort); }
before=$(clips_below "${sources[0]}")
run_job kill length=10 size=720×1280 bits=10000 parallel=0 compress=0
transcoder_or_end() { running "[V]idforge\.exe" || ended "$driven_pid"; }
wait_for 300 transcoder_or_end && running "[V]idforge\.exe" || fail "no transcoder was seen"
# Killed while the transcoder works (its output has begun): a kill in the instant between a tool's
# creation and its entry into the job would leave that tool suspended, never run.
normalising() { [ -s "$prog/Tmps/0.mp4" ]; }
wait_for 120 normalising || fail "the transcoder wrote nothing"
pkill -KILL -f "[S]titchwell\.exe" || fail "the Stitchwell process was not found"
wait_for 60 no_transcoder || fail "a transcoder outlived the killed Stitchwell: $(pgrep -af Vidforge)"
[ "$(clips_below "${sources[0]}")" = "$before" ] || fail "the killed run lost a clip"
# the clip being normalised was claimed: out of the folder's listing, in this copy's claim folder
[ -z "$(ls "${sources[0]}")" ] || fail "the clip being normalised was not claimed: $(ls -A "${sources[0]}")"
ls -A "${sources[0]}" | grep -q '^\.stitchwell-claims-' || fail "no claim folder: $(ls -A "${sources[0]}")"
echo "no transcoder outlived the killed Stitchwell"
