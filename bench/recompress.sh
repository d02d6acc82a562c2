#!/usr/bin/env bash
# Recompressing join speed, against the equivalent ffmpeg command line, from
# one run each:
# - AVI: three 30-second inputs (H.264/AAC MP4 640x360@30, MPEG-4/MP3 AVI
#   640x480@25, WMV2/WMA2 480x360@15) into 352x288 at 25 fps, letterboxed,
#   libxvid (quantizer 3, the join's default) + libmp3lame at 128 kb/s;
# - MP4: three 20-second H.264/AAC inputs (1920x1080@30, 1280x720@30,
#   1920x1080@30) into MP4 at the join's defaults (1920x1080 at 30 fps,
#   letterboxed, libx264 crf 20 preset medium, AAC 192 kb/s at 48 kHz), with
#   the peak memory of each.
# Usage: bench/recompress.sh [avi|mp4] (both without; VANTREL_CLI overrides
# the CLI)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cli="${VANTREL_CLI:-$repo/build/src/cli/vantrel-cli}"
[ -x "$cli" ] || { echo "build vantrel-cli first" >&2; exit 1; }
cache="${TMPDIR:-/tmp}/vantrel-bench-recompress"
mkdir -p "$cache"
cd "$cache"

[ -s a.mp4 ] || ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=30:duration=30 \
  -f lavfi -i sine=sample_rate=48000:duration=30 -c:v libx264 -preset medium -c:a aac a.mp4
[ -s b.avi ] || ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x480:rate=25:duration=30 \
  -f lavfi -i sine=sample_rate=44100:duration=30 -c:v mpeg4 -b:v 2M -c:a libmp3lame b.avi
[ -s c.wmv ] || ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=480x360:rate=15:duration=30 \
  -f lavfi -i sine=sample_rate=22050:duration=30 -c:v wmv2 -c:a wmav2 c.wmv
cat a.mp4 b.avi c.wmv >/dev/null
which="${1:-all}"

now() { date +%s.%N; }
if [ "$which" = all ] || [ "$which" = avi ]; then
s=$(now)
"$cli" join --recompress -q -y -o vantrel.avi --size 352x288 --rate 25 --resize letterbox \
  --vcodec libxvid --acodec libmp3lame a.mp4 b.avi c.wmv
t_vantrel=$(echo "$(now) $s" | awk '{print $1-$2}')

fit='scale=352:288:force_original_aspect_ratio=decrease,pad=352:288:(ow-iw)/2:(oh-ih)/2,setsar=1,fps=25,format=yuv420p'
# Sound placed on its time stamps, gaps filled, as the join does.
snd='aresample=44100:async=1:first_pts=0,aformat=sample_fmts=s16p:channel_layouts=stereo'
s=$(now)
ffmpeg -nostdin -v error -y -i a.mp4 -i b.avi -i c.wmv -filter_complex \
  "[0:v]$fit[v0];[0:a]$snd[a0];[1:v]$fit[v1];[1:a]$snd[a1];[2:v]$fit[v2];[2:a]$snd[a2];[v0][a0][v1][a1][v2][a2]concat=n=3:v=1:a=1[v][a]" \
  -map '[v]' -map '[a]' -c:v libxvid -q:v 3 -c:a libmp3lame -b:a 128k ffmpeg.avi
t_ffmpeg=$(echo "$(now) $s" | awk '{print $1-$2}')

awk -v v="$t_vantrel" -v f="$t_ffmpeg" 'BEGIN {
  printf "vantrel-cli join --recompress: %.2f s\n", v
  printf "ffmpeg -filter_complex:        %.2f s\n", f
  printf "ratio vantrel/ffmpeg:          %.2f (target <= 1.00)\n", v / f
}'
ffprobe -v error -show_entries stream=codec_name,width,height,r_frame_rate,duration -of compact vantrel.avi
fi

if [ "$which" = all ] || [ "$which" = mp4 ]; then
  for clip in "d:1920x1080" "e:1280x720" "f:1920x1080"; do
    n=${clip%%:*} size=${clip#*:}
    [ -s "$n.mp4" ] || ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=30:duration=20" \
      -f lavfi -i sine=sample_rate=48000:duration=20 -c:v libx264 -preset veryfast -c:a aac "$n.mp4"
  done
  cat d.mp4 e.mp4 f.mp4 >/dev/null
  mem() { awk '/Maximum resident/ {printf "%.0f MB", $NF / 1024}' "$1"; }
  s=$(now)
  /usr/bin/time -v -o vantrel-mp4.time "$cli" join --recompress -q -y -o vantrel.mp4 d.mp4 e.mp4 f.mp4
  t_vantrel=$(echo "$(now) $s" | awk '{print $1-$2}')
  fit='scale=1920:1080:force_original_aspect_ratio=decrease,pad=1920:1080:(ow-iw)/2:(oh-ih)/2,setsar=1,fps=30,format=yuv420p'
  snd='aresample=48000:async=1:first_pts=0,aformat=sample_fmts=fltp:channel_layouts=stereo'
  s=$(now)
  /usr/bin/time -v -o ffmpeg-mp4.time ffmpeg -nostdin -v error -y -i d.mp4 -i e.mp4 -i f.mp4 -filter_complex \
    "[0:v]$fit[v0];[0:a]$snd[a0];[1:v]$fit[v1];[1:a]$snd[a1];[2:v]$fit[v2];[2:a]$snd[a2];[v0][a0][v1][a1][v2][a2]concat=n=3:v=1:a=1[v][a]" \
    -map '[v]' -map '[a]' -c:v libx264 -crf 20 -preset medium -c:a aac -b:a 192k -movflags +faststart ffmpeg.mp4
  t_ffmpeg=$(echo "$(now) $s" | awk '{print $1-$2}')
  awk -v v="$t_vantrel" -v f="$t_ffmpeg" -v vm="$(mem vantrel-mp4.time)" -v fm="$(mem ffmpeg-mp4.time)" 'BEGIN {
    printf "MP4: vantrel-cli join --recompress: %.2f s, peak %s\n", v, vm
    printf "MP4: ffmpeg -filter_complex:        %.2f s, peak %s\n", f, fm
    printf "MP4: ratio vantrel/ffmpeg:          %.2f (target <= 1.00)\n", v / f
  }'
  ffprobe -v error -show_entries stream=codec_name,width,height,r_frame_rate,duration -of compact vantrel.mp4
fi
