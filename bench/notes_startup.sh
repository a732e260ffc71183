#!/usr/bin/env bash
# The real program under Xvfb with N shown notes in the store: time from process
# start until every note window is on screen, peak memory, and CPU used while
# idle over the 10 s that follow.
#   bench/notes_startup.sh [counts...]      (default: 1 50 200 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
counts=("$@")
((${#counts[@]})) || counts=(1 50 200 1000)
runs="${RUNS:-3}"
idle="${IDLE_SECONDS:-10}"

cmake --build build --target zuvonote fill_store zuvonote_program_folder >/dev/null

work="$(mktemp -d)"
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for n in "${counts[@]}"; do
    times=(); mems=(); cpus=()
    for ((r = 0; r < runs; r++)); do
        home="$work/home-$n-$r"
        mkdir -p "$home/.local/share/Zuvo/Note" "$home/run"
        chmod 700 "$home/run"
        build/bench/fill_store "$home/.local/share/Zuvo/Note/brisel.mdb" "$n" --upgraded --shown
        printf '[config]\nPcID=BENCH\nLanguage=English\n' >"$home/.local/share/Zuvo/Note/config.ini"
        log="$work/log-$n-$r"
        start=$(date +%s%3N)
        env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" \
            ZUVONOTE_REPORT_SHOWN=1 ZUVONOTE_SERVER=http://127.0.0.1:9/ build/bin/zuvonote 2>"$log" &
        pid=$!
        for ((w = 0; w < 3000; w++)); do
            grep -q '^shown' "$log" 2>/dev/null && break
            sleep 0.01
        done
        shown=$(awk '/^shown/ {print $3}' "$log")
        times+=("$((shown - start))")
        read -r ut st < <(awk '{print $14, $15}' "/proc/$pid/stat")
        sleep "$idle"
        read -r ut2 st2 < <(awk '{print $14, $15}' "/proc/$pid/stat")
        hz=$(getconf CLK_TCK)
        cpus+=("$(awk -v a=$((ut2 + st2 - ut - st)) -v hz="$hz" -v s="$idle" 'BEGIN {printf "%.2f", 100 * a / hz / s}')")
        mems+=("$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")")
        kill -TERM "$pid"
        wait "$pid" || true
    done
    echo "notes=$n: shown in $(median "${times[@]}") ms, peak $(($(median "${mems[@]}") / 1024)) MB, idle CPU $(median "${cpus[@]}") % (medians of $runs)"
done
