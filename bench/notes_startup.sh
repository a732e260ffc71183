#!/usr/bin/env bash
# The real program under a fresh Xvfb with N shown notes in the store: time from
# process start until every note window is on screen, peak memory, the X server's
# memory growth over the run, and CPU used while idle over the 10 s that follow.
# With `xpad` among the PEERS, xpad runs beside it on the same notes (same text,
# size and places, written as its own pads), each run with a fresh HOME and a
# fresh X server, the programs taking turns within each run.
#   bench/notes_startup.sh [counts...]      (default: 1 50 200 1000)
#   RUNS=3 IDLE_SECONDS=10 SCREEN=1920x1080x24 NOTE_SIZE=240x200 NOTE_CHARS=200
#   SHOT_DIR=dir (a screenshot of each run's screen) PROGRAM=build/bin/other-build
#   PEERS="zuvonote xpad" (default: zuvonote only; xpad must be installed)
set -euo pipefail
cd "$(dirname "$0")/.."
counts=("$@")
((${#counts[@]})) || counts=(1 50 200 1000)
runs="${RUNS:-3}"
idle="${IDLE_SECONDS:-10}"
screen="${SCREEN:-1920x1080x24}"
size="${NOTE_SIZE:-240x200}"
chars="${NOTE_CHARS:-200}"
read -r -a peers <<<"${PEERS:-zuvonote}"
# Another build of the program to compare with, kept next to it (its languages are found from there).
program="${PROGRAM:-build/bin/zuvonote}"
for peer in "${peers[@]}"; do
    case "$peer" in
        zuvonote) ;;
        xpad) command -v xpad >/dev/null || { echo "xpad is not installed (apt-get install xpad)" >&2; exit 2; } ;;
        *) echo "unknown peer: $peer (zuvonote or xpad)" >&2; exit 2 ;;
    esac
done

cmake --build build --target zuvonote fill_store zuvonote_program_folder >/dev/null

work="$(mktemp -d)"
xvfb=""
pid=""
trap '[[ -n $pid ]] && kill $pid 2>/dev/null; [[ -n $xvfb ]] && kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
# CPU time (user + system) a process has used so far; steadier than wall time on a busy machine.
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{print int(($14 + $15) * 1000 / hz)}' "/proc/$1/stat"; }
# xpad says nothing when its pads are up: the moment is when the X server shows
# as many of its windows mapped as there are pads (polled, so up to 50 ms late).
viewable() { { DISPLAY="$1" xdotool search --onlyvisible --pid "$2" 2>/dev/null || true; } | wc -l; }

# One run of one program: fills the globals shown_ms, start_cpu, x_cpu, idle_cpu, peak_kb, x_growth_kb
# and, for the program, parts (its start-up, load timer and loading in ms).
run_one() {
    local peer=$1 n=$2 r=$3
    local display=":$((90 + RANDOM % 9))"
    Xvfb "$display" -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    local xbefore xcpu0 home log start shown
    xbefore=$(rss_kb "$xvfb")
    xcpu0=$(cpu_ms "$xvfb")
    home="$work/home-$peer-$n-$r"
    mkdir -p "$home/run"
    chmod 700 "$home/run"
    log="$work/log-$peer-$n-$r"
    if [[ $peer == zuvonote ]]; then
        mkdir -p "$home/.local/share/Zuvo/Note"
        build/bench/fill_store "$home/.local/share/Zuvo/Note/brisel.mdb" "$n" --upgraded --shown \
            --size "$size" --chars "$chars"
        printf '[config]\nPcID=BENCH\nLanguage=English\n' >"$home/.local/share/Zuvo/Note/config.ini"
        start=$(date +%s%3N)
        env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" \
            ZUVONOTE_REPORT_SHOWN=1 ZUVONOTE_SERVER=http://127.0.0.1:9/ "$program" 2>"$log" &
        pid=$!
        for ((w = 0; w < 3000; w++)); do
            grep -q '^shown' "$log" 2>/dev/null && break
            sleep 0.01
        done
        shown=$(awk '/^shown/ {print $3}' "$log")
        # The parts: start-up to the idle event loop, the load timer's wait, loading until on screen.
        local idle_at loading_at
        idle_at=$(awk '/^idle/ {print $2}' "$log")
        loading_at=$(awk '/^loading/ {print $2}' "$log")
        parts=""
        # (a build from before these lines says neither)
        [[ -n $idle_at && -n $loading_at ]] &&
            parts="$((idle_at - start)) $((loading_at - idle_at)) $((shown - loading_at))"
    else
        parts=""
        build/bench/fill_store "$home/.config/xpad" "$n" --xpad --size "$size" --chars "$chars"
        start=$(date +%s%3N)
        env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" \
            LANG=C.UTF-8 xpad >"$log" 2>&1 &
        pid=$!
        # Here xpad shows 941 of 1000 pads and no more: its count settles, so the
        # wait ends when all are up or none came for 3 s (the count is reported).
        shown=""
        local seen=0 now count
        for ((w = 0; w < 1200; w++)); do
            count=$(viewable "$display" "$pid")
            now=$(date +%s%3N)
            if ((count > seen)); then
                seen=$count
                shown=$now
            fi
            ((seen >= n)) && break
            [[ -n $shown ]] && ((now - shown > 3000)) && break
            sleep 0.05
        done
        parts="xpad $seen"
    fi
    shown_ms=$((${shown:-0} - start))
    [[ -n $shown ]] || shown_ms=-1
    start_cpu=$(cpu_ms "$pid")
    x_cpu=$(($(cpu_ms "$xvfb") - xcpu0))
    local c0 c1
    c0=$(cpu_ms "$pid")
    sleep "$idle"
    c1=$(cpu_ms "$pid")
    idle_cpu=$(awk -v a=$((c1 - c0)) -v s="$idle" 'BEGIN {printf "%.2f", a / 10 / s}')
    peak_kb=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
    x_growth_kb=$(($(rss_kb "$xvfb") - xbefore))
    if [[ -n ${SHOT_DIR:-} ]]; then
        mkdir -p "$SHOT_DIR"
        DISPLAY="$display" import -window root "$SHOT_DIR/$peer-$n-$r.png" 2>/dev/null || true
    fi
    kill -TERM "$pid"
    wait "$pid" || true
    pid=""
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true
    xvfb=""
}

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A base_cpu
for n in "${counts[@]}"; do
    declare -A times=() cpus=() xcpus=() idles=() peaks=() xgrowths=() shown_counts=()
    startups=() timers=() loadings=()
    for ((r = 0; r < runs; r++)); do
        for peer in "${peers[@]}"; do
            run_one "$peer" "$n" "$r"
            times[$peer]+="$shown_ms "
            cpus[$peer]+="$start_cpu "
            xcpus[$peer]+="$x_cpu "
            idles[$peer]+="$idle_cpu "
            peaks[$peer]+="$peak_kb "
            xgrowths[$peer]+="$x_growth_kb "
            if [[ $parts == xpad* ]]; then
                shown_counts[$peer]+="${parts#xpad } "
            elif [[ -n $parts ]]; then
                read -r a b c <<<"$parts"
                startups+=("$a") timers+=("$b") loadings+=("$c")
            fi
        done
    done
    for peer in "${peers[@]}"; do
        # shellcheck disable=SC2086 # the lists are words on purpose
        {
            t=$(median ${times[$peer]}) c=$(median ${cpus[$peer]}) xc=$(median ${xcpus[$peer]})
            i=$(median ${idles[$peer]}) p=$(median ${peaks[$peer]}) g=$(median ${xgrowths[$peer]})
        }
        per_note=""
        # CPU per note: what each note beyond the first adds, from the run with one note.
        if [[ -n ${base_cpu[$peer]:-} && $n -gt 1 ]]; then
            per_note=", $(awk -v a="$c" -v b="${base_cpu[$peer]}" -v n="$n" \
                'BEGIN {printf "%.2f", (a - b) / (n - 1)}') ms CPU per note"
        fi
        [[ $n == 1 ]] && base_cpu[$peer]=$c
        echo "$peer notes=$n: shown in $t ms (CPU $c ms, X server CPU $xc ms), peak $((p / 1024)) MB," \
            "X server +$((g / 1024)) MB, idle CPU $i %$per_note (medians of $runs; runs: ${times[$peer]% })"
        if [[ -n ${shown_counts[$peer]:-} ]]; then
            echo "    windows shown: ${shown_counts[$peer]% } of $n"
        fi
        if [[ $peer == zuvonote && ${#loadings[@]} -gt 0 ]]; then
            echo "    start-up to the idle loop $(median "${startups[@]}") ms, load timer $(median "${timers[@]}") ms," \
                "loading until on screen $(median "${loadings[@]}") ms"
        fi
    done
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
