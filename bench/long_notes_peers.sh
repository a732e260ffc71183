#!/usr/bin/env bash
# Long notes in the real program and in xpad on the same texts: three ordinary
# notes and one long one (60 000 short lines, or one line of 2 MB), a fresh HOME
# and a fresh 1920 x 1080 Xvfb per run. Prints for each: wall time and CPU until
# every window is on screen, until the program first idles for 300 ms, the CPU
# of a keystroke into the long note (xpad; ours: bench_long_notes) and the peak
# resident memory.
#   bench/long_notes_peers.sh [zuvonote|xpad] [lines|line]
# Needs xpad (apt-get install xpad: for this benchmark only), Xvfb and xdotool.
set -uo pipefail
cd "$(dirname "$0")/.."
program="${1:-zuvonote}"
text="${2:-lines}"
[[ $program == zuvonote ]] && cmake --build build --target zuvonote fill_store zuvonote_program_folder >/dev/null

work="$(mktemp -d)"
xvfb=""
pid=""
trap '[[ -n $pid ]] && kill -9 $pid 2>/dev/null; [[ -n $xvfb ]] && kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
awk 'BEGIN { for (i = 0; i < 60000; i++) printf "item %d of the list\n", i }' >"$work/lines.txt"
awk 'BEGIN { n = 0; while (n < 2000000) { w = sprintf("word%d ", i++ % 997); printf "%s", w; n += length(w) } }' \
    >"$work/line.txt"
home="$work/home"
mkdir -p "$home/run"
chmod 700 "$home/run"
if [[ $program == zuvonote ]]; then
    list=0
    [[ $text == lines ]] && list=2
    mkdir -p "$home/.local/share/Zuvo/Note"
    build/bench/fill_store "$home/.local/share/Zuvo/Note/brisel.mdb" 3 --upgraded --shown --size 240x200 \
        --also "$work/$text.txt" --list "$list" >/dev/null
    printf '[config]\nPcID=BENCH\nLanguage=English\n' >"$home/.local/share/Zuvo/Note/config.ini"
else
    dir="$home/.config/xpad"
    mkdir -p "$dir"
    for i in 0 1 2; do
        printf 'A note of some length, with a few words on two lines\nsecond line' >"$dir/content-ORD$i"
        printf 'width 240\nheight 200\nx %d\ny %d\nfollow_font 1\nfollow_color 1\nsticky 0\nhidden 0\ncontent content-ORD%d\n' \
            $((10 + i * 37)) $((10 + i * 53)) "$i" >"$dir/info-ORD$i"
    done
    cp "$work/$text.txt" "$dir/content-LONG"
    printf 'width 240\nheight 200\nx 600\ny 300\nfollow_font 1\nfollow_color 1\nsticky 0\nhidden 0\ncontent content-LONG\n' \
        >"$dir/info-LONG"
fi

display=":$((70 + RANDOM % 9))"
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
hz=$(getconf CLK_TCK)
cpu_ms() { awk -v hz="$hz" '{print int(($14 + $15) * 1000 / hz)}' "/proc/$1/stat"; }
now_ms() { date +%s%3N; }
start=$(now_ms)
if [[ $program == zuvonote ]]; then
    env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" ZUVONOTE_REPORT_SHOWN=1 \
        ZUVONOTE_SERVER=http://127.0.0.1:9/ build/bin/zuvonote 2>"$work/log" &
else
    env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" xpad -N >/dev/null 2>&1 &
fi
pid=$!
# On screen: ours reports it; xpad's four windows are mapped (the only client of this display).
shown=0
for ((i = 0; i < 6000; i++)); do
    if [[ $program == zuvonote ]]; then
        grep -q '^shown' "$work/log" && shown=$(($(now_ms) - start)) && break
    elif (($(DISPLAY=$display xdotool search --onlyvisible --name '' 2>/dev/null | wc -l) >= 4)); then
        shown=$(($(now_ms) - start))
        break
    fi
    sleep 0.02
done
shown_cpu=$(cpu_ms "$pid")
last=$shown_cpu
quiet=$(now_ms)
for ((i = 0; i < 6000; i++)); do
    sleep 0.05
    c=$(cpu_ms "$pid")
    if ((c != last)); then
        last=$c
        quiet=$(now_ms)
    elif (($(now_ms) - quiet >= 300)); then
        break
    fi
done
settled_cpu=$(cpu_ms "$pid")
key="see bench_long_notes"
if [[ $program == xpad ]]; then
    DISPLAY=$display xdotool mousemove 660 340 click 1
    sleep 0.5
    k0=$(cpu_ms "$pid")
    for ((k = 0; k < 10; k++)); do
        DISPLAY=$display xdotool key x
        sleep 0.15
    done
    sleep 1
    key="$((($(cpu_ms "$pid") - k0) / 10)) ms"
fi
peak=$(awk '/VmHWM/ {print int($2 / 1024)}' "/proc/$pid/status")
echo "$program $text: on screen $shown ms (CPU $shown_cpu ms), idle $((quiet - start)) ms (CPU $settled_cpu ms)," \
    "keystroke CPU $key, peak $peak MB, load $(cut -d' ' -f1 /proc/loadavg)"
