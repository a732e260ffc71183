#!/usr/bin/env bash
# The real program under a fresh Xvfb with N shown notes in the store: time from
# process start until every note window is on screen, peak memory, the X server's
# memory growth over the run, and CPU used while idle over the 10 s that follow.
#   bench/notes_startup.sh [counts...]      (default: 1 50 200 1000)
#   RUNS=3 IDLE_SECONDS=10 SCREEN=1920x1080x24 NOTE_SIZE=240x200 NOTE_CHARS=200
#   SHOT_DIR=dir (a screenshot of each run's screen) PROGRAM=build/bin/other-build
set -euo pipefail
cd "$(dirname "$0")/.."
counts=("$@")
((${#counts[@]})) || counts=(1 50 200 1000)
runs="${RUNS:-3}"
idle="${IDLE_SECONDS:-10}"
screen="${SCREEN:-1920x1080x24}"
# Another build of the program to compare with, kept next to it (its languages are found from there).
program="${PROGRAM:-build/bin/zuvonote}"

cmake --build build --target zuvonote fill_store zuvonote_program_folder >/dev/null

work="$(mktemp -d)"
xvfb=""
trap '[[ -n $xvfb ]] && kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
# CPU time (user + system) a process has used so far; steadier than wall time on a busy machine.
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{print int(($14 + $15) * 1000 / hz)}' "/proc/$1/stat"; }

for n in "${counts[@]}"; do
    times=(); mems=(); cpus=(); xgrowth=(); startcpu=(); xcpu=()
    for ((r = 0; r < runs; r++)); do
        display=":$((90 + RANDOM % 9))"
        Xvfb "$display" -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 &
        xvfb=$!
        sleep 1
        xbefore=$(rss_kb "$xvfb")
        xcpu0=$(cpu_ms "$xvfb")
        home="$work/home-$n-$r"
        mkdir -p "$home/.local/share/Zuvo/Note" "$home/run"
        chmod 700 "$home/run"
        build/bench/fill_store "$home/.local/share/Zuvo/Note/brisel.mdb" "$n" --upgraded --shown \
            --size "${NOTE_SIZE:-240x200}" --chars "${NOTE_CHARS:-200}"
        printf '[config]\nPcID=BENCH\nLanguage=English\n' >"$home/.local/share/Zuvo/Note/config.ini"
        log="$work/log-$n-$r"
        start=$(date +%s%3N)
        env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" \
            ZUVONOTE_REPORT_SHOWN=1 ZUVONOTE_SERVER=http://127.0.0.1:9/ "$program" 2>"$log" &
        pid=$!
        for ((w = 0; w < 3000; w++)); do
            grep -q '^shown' "$log" 2>/dev/null && break
            sleep 0.01
        done
        shown=$(awk '/^shown/ {print $3}' "$log")
        times+=("$((shown - start))")
        read -r ut st < <(awk '{print $14, $15}' "/proc/$pid/stat")
        startcpu+=("$(cpu_ms "$pid")")
        xcpu+=("$(($(cpu_ms "$xvfb") - xcpu0))")
        sleep "$idle"
        read -r ut2 st2 < <(awk '{print $14, $15}' "/proc/$pid/stat")
        hz=$(getconf CLK_TCK)
        cpus+=("$(awk -v a=$((ut2 + st2 - ut - st)) -v hz="$hz" -v s="$idle" 'BEGIN {printf "%.2f", 100 * a / hz / s}')")
        mems+=("$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")")
        xgrowth+=("$(($(rss_kb "$xvfb") - xbefore))")
        [[ -n ${SHOT_DIR:-} ]] && mkdir -p "$SHOT_DIR" &&
            DISPLAY="$display" import -window root "$SHOT_DIR/notes-$n-$r.png" 2>/dev/null || true
        kill -TERM "$pid"
        wait "$pid" || true
        kill "$xvfb"
        wait "$xvfb" 2>/dev/null || true
        xvfb=""
    done
    echo "notes=$n: shown in $(median "${times[@]}") ms (CPU $(median "${startcpu[@]}") ms," \
        "X server CPU $(median "${xcpu[@]}") ms), peak $(($(median "${mems[@]}") / 1024)) MB," \
        "X server +$(($(median "${xgrowth[@]}") / 1024)) MB, idle CPU $(median "${cpus[@]}") % (medians of $runs)"
done
