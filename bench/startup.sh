#!/usr/bin/env bash
# Start-up of the real program to its idle event loop with a store of N notes
# (default 10 000; none of them shown, so nothing is loaded into windows).
# Prints wall time and peak memory for each run, then the medians.
#   bench/startup.sh [rows] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-10000}"
runs="${2:-7}"

cmake --build build --target zuvonote fill_store zuvonote_program_folder >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.local/share/Zuvo/Note" "$work/run"
chmod 700 "$work/run"
build/bench/fill_store "$work/home/.local/share/Zuvo/Note/brisel.mdb" "$rows" --upgraded
printf '[config]\nPcID=BENCH\n' > "$work/home/.local/share/Zuvo/Note/config.ini"

times=()
mems=()
for ((i = 0; i <= runs; i++)); do
    env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
        QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" ${DISPLAY:+DISPLAY=$DISPLAY} \
        ZUVONOTE_QUIT_WHEN_IDLE=1 ZUVONOTE_SERVER=http://127.0.0.1:9/ \
        /usr/bin/time -o "$work/time" -f '%e %M' build/bin/zuvonote >/dev/null 2>&1
    out=$(tail -1 "$work/time")
    ((i == 0)) && continue # warm-up
    times+=("$(awk '{print $1}' <<<"$out")")
    mems+=("$(awk '{print $2}' <<<"$out")")
    echo "run $i: ${times[-1]} s, peak ${mems[-1]} KB"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "rows=$rows runs=$runs median wall $(median "${times[@]}") s, median peak $(median "${mems[@]}") KB"
