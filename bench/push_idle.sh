#!/usr/bin/env bash
# Idle cost of a signed-in program: zuvonote-server on loopback, the real
# program under Xvfb with N shown notes, signed in through its config.ini, its
# push channel open. Reports the CPU the program used over the idle seconds.
#   bench/push_idle.sh [notes] [idle seconds]      (default: 1000 notes, 60 s)
set -euo pipefail
cd "$(dirname "$0")/.."
notes="${1:-1000}"
idle="${2:-60}"

cmake --build build --target zuvonote zuvonote-server fill_store zuvonote_program_folder >/dev/null

work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A port nobody listens on now.
free_port() {
    local p
    while :; do
        p=$((20000 + RANDOM % 40000))
        (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
    done
}
# Established connections to a local port (the push channels), from /proc/net/tcp.
connections_to() {
    awk -v port="$(printf ':%04X' "$1")" '$3 ~ port"$" && $4 == "01" {n++} END {print n + 0}' /proc/net/tcp
}
web=$(free_port)
push=$(free_port)

build/bin/zuvonote-server --quiet --listen "127.0.0.1:$web" --push "127.0.0.1:$push" \
    --db "sqlite:$work/server.db" &
pids+=($!)
password=idle-bench
uid=$(printf '%s' "$password" | build/bin/zuvonote-server add-user --db "sqlite:$work/server.db" \
    --email idle@example.org --name idle --password-stdin)
digest=$(printf '%s' "$password" | md5sum | cut -c1-32)
for ((w = 0; w < 100; w++)); do
    (exec 3<>"/dev/tcp/127.0.0.1/$web") 2>/dev/null && break
    sleep 0.1
done

display=":$((110 + RANDOM % 50))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1

home="$work/home"
data="$home/.local/share/Zuvo/Note"
mkdir -p "$data" "$home/run"
chmod 700 "$home/run"
build/bench/fill_store "$data/brisel.mdb" "$notes" --upgraded --shown
printf '[config]\nPcID=8E1C2B60-0000-4000-8000-0000000B3C41\nLanguage=English\nUserID=%s\nUserName=idle\nUserPass=%s\n' \
    "$uid" "$digest" >"$data/config.ini"
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" DISPLAY="$display" \
    ZUVONOTE_SERVER="http://127.0.0.1:$web/" ZUVONOTE_PUSH_PORT="$push" build/bin/zuvonote 2>"$work/log" &
pid=$!
pids+=("$pid")

# The channel is open once the program holds a connection to the push port.
for ((w = 0; w < 300; w++)); do
    (($(connections_to "$push") > 0)) && break
    sleep 0.1
done
(($(connections_to "$push") > 0)) || { echo "push channel never opened" >&2; exit 1; }
sleep 5 # the first download and the windows settle

hz=$(getconf CLK_TCK)
read -r ut st < <(awk '{print $14, $15}' "/proc/$pid/stat")
sleep "$idle"
read -r ut2 st2 < <(awk '{print $14, $15}' "/proc/$pid/stat")
(($(connections_to "$push") > 0)) || { echo "push channel closed while idle" >&2; exit 1; }
awk -v a=$((ut2 + st2 - ut - st)) -v hz="$hz" -v s="$idle" -v n="$notes" \
    'BEGIN {printf "signed in, %d notes, push channel open: %.2f %% of one core over %d s (%d ticks)\n", n, 100 * a / hz / s, s, a}'
