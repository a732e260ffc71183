#!/usr/bin/env bash
# SIGTERM while the user-interface thread is busy, in the real program under a
# fresh Xvfb with three ordinary notes and one long note (60 000 numbered short
# lines, or one line of 2 MB). Two moments:
#   paste     the long note is opened (double-click), a word is typed into it,
#             its whole text is copied and pasted at its end; TERM is sent once
#             the paste has used 150 ms of CPU, that is while it runs
#   start-up  TERM is sent 300 ms after the start, while the notes are loading
# Reported per run: the time from TERM until the process is gone, its CPU time
# over that span, its exit code (0: the ordered exit; 143: ended by the last
# resort after 4 s), and for the paste whether the typed word and the pasted
# text are in the store.
#   RUNS=3 TEXTS="lines line" SCREEN=1920x1080x24
# Needs Xvfb, xdotool and sqlite3.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${RUNS:-3}"
screen="${SCREEN:-1920x1080x24}"
texts=(${TEXTS:-lines line})
for tool in Xvfb xdotool sqlite3; do
    command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install xvfb xdotool sqlite3)" >&2; exit 1; }
done

cmake --build build --target zuvonote fill_store zuvonote_program_folder >/dev/null

work="$(mktemp -d)"
xvfb=""
pid=""
trap '[[ -n $pid ]] && kill -9 $pid 2>/dev/null; [[ -n $xvfb ]] && kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT

awk 'BEGIN { for (i = 0; i < 60000; i++) printf "item %d of the list\n", i }' >"$work/lines.txt"
awk 'BEGIN { n = 0; while (n < 2000000) { w = sprintf("word%d ", i++ % 997); printf "%s", w; n += length(w) } }' \
    >"$work/line.txt"

hz=$(getconf CLK_TCK)
cpu_ms() { awk -v hz="$hz" '{print int(($14 + $15) * 1000 / hz)}' "/proc/$1/stat"; }
now_ms() { date +%s%3N; }

# Sends TERM and waits for the process to be gone; sets ms, cpu and rc.
term_and_time() {
    local t0 c0 c=0
    t0=$(now_ms)
    c0=$(cpu_ms "$pid")
    kill -TERM "$pid"
    while kill -0 "$pid" 2>/dev/null; do
        c=$(cpu_ms "$pid" 2>/dev/null || echo "$c")
        sleep 0.005
    done
    local t1
    t1=$(now_ms)
    wait "$pid" && rc=0 || rc=$?
    pid=""
    ms=$((t1 - t0))
    cpu=$((c - c0))
}

start_program() { # text -> sets pid, db, display
    local text=$1 list=0
    [[ $text == lines ]] && list=2
    display=":$((90 + RANDOM % 9))"
    while [[ -e /tmp/.X11-unix/X${display#:} ]]; do display=":$((90 + RANDOM % 9))"; done
    Xvfb "$display" -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    home="$work/home-$RANDOM$RANDOM"
    mkdir -p "$home/.local/share/Zuvo/Note" "$home/run"
    chmod 700 "$home/run"
    db="$home/.local/share/Zuvo/Note/brisel.mdb"
    build/bench/fill_store "$db" 3 --upgraded --shown --size 240x200 --also "$work/$text.txt" --list "$list"
    printf '[config]\nPcID=BENCH\nLanguage=English\n' >"$home/.local/share/Zuvo/Note/config.ini"
    log="$home/log"
    env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" \
        ZUVONOTE_REPORT_SHOWN=1 ZUVONOTE_SERVER=http://127.0.0.1:9/ build/bin/zuvonote 2>"$log" &
    pid=$!
}

stop_display() {
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true
    xvfb=""
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for text in "${texts[@]}"; do
    for ((r = 0; r < runs; r++)); do
        # During a paste.
        start_program "$text"
        for ((w = 0; w < 6000; w++)); do grep -q '^shown' "$log" 2>/dev/null && break; sleep 0.01; done
        sleep 1
        export DISPLAY="$display"
        win=$(xdotool search --name "^$(head -c 20 "$work/$text.txt" | head -1)" | head -1)
        xdotool mousemove --window "$win" 60 40 click --repeat 2 --delay 60 1
        sleep 0.5
        xdotool type --delay 30 "EDIT$r"
        sleep 0.3
        xdotool key ctrl+a ctrl+c ctrl+End
        sleep 2
        c0=$(cpu_ms "$pid")
        xdotool key ctrl+v
        for ((w = 0; w < 2000; w++)); do (($(cpu_ms "$pid") - c0 >= 150)) && break; sleep 0.005; done
        term_and_time
        len=$(wc -c <"$work/$text.txt")
        read -r edit pasted < <(sqlite3 -separator ' ' "$db" \
            "select instr(mynote, 'EDIT$r') > 0, length(mynote) > $((len * 3 / 2)) from notes where length(mynote) > 1000")
        stop_display
        echo "$text paste: exit after $ms ms (CPU $cpu ms), code $rc; typed word stored: $edit, paste stored: $pasted"

        # During the start-up.
        start_program "$text"
        sleep 0.3
        term_and_time
        stop_display
        echo "$text start-up: exit after $ms ms (CPU $cpu ms), code $rc"
    done
done
