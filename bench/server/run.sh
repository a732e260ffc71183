#!/usr/bin/env bash
# Benchmarks of zuvonote-server on loopback; prints the figures docs/server.md quotes.
#   bench/server/run.sh [--hostile] [BUILD_DIR]   (default build-server; needs wrk and mosquitto)
# 1. get_notes.php for an account with 1000 notes, and update_note.php of one
#    note, with wrk (SQLite, the default store; PostgreSQL too when BENCH_PG
#    names a server, e.g. the one scripts/test-postgres.sh starts).
# 2. The push server with 10 000 idle signed-in connections: memory per
#    connection, then fan-out latency to a user's 5 and 100 devices while they
#    are held; the same run against mosquitto as the reference.
#    BENCH_REFERENCE=0 leaves mosquitto out.
# 4. (BENCH_PARTS=scale, needs BENCH_PG) as many idle connections as one
#    process's descriptors hold (SQLite), then twice that over two server
#    processes on one PostgreSQL database, then BENCH_SCALE (100 000) over as
#    many processes as that needs; fan-out to 5 and 100 devices spread over
#    the processes, so that notices cross through the database.
# 3. (--hostile, or BENCH_PARTS=hostile) attacks from bench/server/hostile.py,
#    each while wrk times get_notes.php of a signed-in client (4 connections):
#    1000 trickling and 1000 silent connections; 32 connections declaring
#    8 MiB uploads and sending 17 KiB/s; a flood of sign-ins of unknown
#    accounts (64 at a time); then a signed-in push device's keep-alive
#    round trip during a keep-alive flood, a gzip bomb, an upload with 100 000
#    attributes and the timing of wrong sign-ins. SERVER=path/to/another/
#    zuvonote-server measures another build the same way.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [[ ${1:-} == --hostile ]]; then
    BENCH_PARTS=hostile
    shift
fi
BUILD=${1:-build-server}
SERVER=${SERVER:-$BUILD/bin/zuvonote-server}
TOOL=$BUILD/bench/zuvonote-push-bench
DURATION=${BENCH_SECONDS:-10}
PARTS=${BENCH_PARTS:-web,push}   # which halves to run
IDLE=${BENCH_IDLE:-10000}
for tool in wrk mosquitto; do
    command -v $tool >/dev/null || { echo "needs $tool (see scripts/server-packages.txt)" >&2; exit 1; }
done
[[ -x $SERVER && -x $TOOL ]] || { echo "build $SERVER and $TOOL first" >&2; exit 1; }
# Every connection is a descriptor, in the server and in the bench alike.
ulimit -n "$(ulimit -Hn)"

WORK=$(mktemp -d /tmp/zuvo-bench-XXXXXX)
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    # Anything the servers said beyond starting and stopping.
    grep -v -E "^zuvonote-server: (web on|stopping)" "$WORK/server.log" 2>/dev/null | tail -20 >&2 || true
    rm -rf "$WORK"
}
trap cleanup EXIT

start_server() { # db http push; CONFIG names a configuration file
    "$SERVER" ${CONFIG:+--config "$CONFIG"} --db "$1" --listen "127.0.0.1:$2" --push "127.0.0.1:$3" \
        --sqlite-sync "${SQLITE_SYNC:-full}" --quiet 2>>"$WORK/server.log" &
    SERVER_PID=$!
    PIDS+=("$SERVER_PID")
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$2") 2>/dev/null && return 0
        sleep 0.05
    done
    echo "the server did not start" >&2
    cat "$WORK/server.log" >&2
    exit 1
}

DIGEST=$(printf bench-pass | md5sum | cut -c1-32)
CREDS="userid=1&userpass=$DIGEST&pcid=BENCH-PC"

if [[ $PARTS == *web* ]]; then
BODY=$(python3 -c 'import urllib.parse; print(urllib.parse.quote_plus("<?xml version=\"1.0\" encoding=\"utf-8\" ?><NoteList><NoteItem><id>00000007-1111-2222-3333-000000000007</id><mynote><![CDATA[Changed on the bench: buy milk & bread]]></mynote><form_x>100</form_x><form_y>100</form_y><form_w>220</form_w><form_h>100</form_h><form_trans>160</form_trans><fontcolor>0</fontcolor><fontsize>9</fontsize><fontname>Tahoma</fontname><fontbold>0</fontbold><alerttype>0</alerttype><alertvalue1></alertvalue1><alertvalue2></alertvalue2><alertvalue3></alertvalue3><istopmost>0</istopmost><autoheight>0</autoheight><bgcolorindex>2</bgcolorindex><showaslist>0</showaslist><filemd5></filemd5><notetype>0</notetype></NoteItem></NoteList>"))')
cat >"$WORK/get_notes.lua" <<LUA
wrk.method = "POST"
wrk.body = "$CREDS"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
LUA
cat >"$WORK/update_note.lua" <<LUA
wrk.method = "POST"
wrk.body = "$BODY"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
LUA
upload() { # connections
    echo "-- update_note.php (one note, changed text and colour), $1 connections"
    wrk -t2 -c"$1" -d"${DURATION}s" --latency -s "$WORK/update_note.lua" \
        "http://127.0.0.1:$PORT/api/v11/update_note.php?$CREDS&uploadfields=11000000000111111111&os=Windows" |
        grep -E "Requests/sec|50%|99%|Non-2xx|Socket errors"
    REPLY=$(curl -s -X POST -H 'Content-Type: application/x-www-form-urlencoded' --data "$BODY" \
        "http://127.0.0.1:$PORT/api/v11/update_note.php?$CREDS&uploadfields=11000000000111111111&os=Windows")
    echo "update_note.php reply after the run: \"$REPLY\""
}
web() { # title db-location port
    echo "== web service on $1 (wrk, ${DURATION}s, 2 threads)"
    "$TOOL" setup --db "$2" --idle-users 0 --notes 1000
    PORT=$3
    start_server "$2" "$PORT" $((PORT + 1000))
    SIZE=$(curl -s -X POST -H 'Content-Type: application/x-www-form-urlencoded' --data "$CREDS" \
        "http://127.0.0.1:$PORT/api/v11/get_notes.php?$CREDS" | wc -c)
    echo "-- get_notes.php, 16 connections; reply: $SIZE bytes for 1000 notes"
    wrk -t2 -c16 -d"${DURATION}s" --latency -s "$WORK/get_notes.lua" \
        "http://127.0.0.1:$PORT/api/v11/get_notes.php?$CREDS" |
        grep -E "Requests/sec|Transfer/sec|50%|99%|Non-2xx|Socket errors"
    upload 16
    upload 64
    kill "$SERVER_PID"
}
web "SQLite (every commit waits for the disk)" "sqlite:$WORK/web.db" 18186
# BENCH_PG=postgresql://... also measures PostgreSQL, in a schema of its own.
if [[ -n ${BENCH_PG:-} ]]; then
    SCHEMA=zuvo_bench_$$
    psql -q "$BENCH_PG" -c "create schema $SCHEMA" >/dev/null
    web "PostgreSQL" "$BENCH_PG?options=-csearch_path%3D$SCHEMA" 18196
    psql -q "$BENCH_PG" -c "drop schema $SCHEMA cascade" >/dev/null 2>&1
fi
fi

if [[ $PARTS == *hostile* ]]; then
HOSTILE="python3 bench/server/hostile.py"
SLOW_SECONDS=${BENCH_SLOW_SECONDS:-60}
echo "== hostile clients (SQLite)"
"$TOOL" setup --db "sqlite:$WORK/hostile.db" --idle-users 0 --notes 100
start_server "sqlite:$WORK/hostile.db" 18286 15286
cat >"$WORK/get_notes.lua" <<LUA
wrk.method = "POST"
wrk.body = "$CREDS"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
LUA
echo "-- get_notes.php (100 notes), 4 connections, without attackers"
wrk -t1 -c4 -d10s --latency -s "$WORK/get_notes.lua" "http://127.0.0.1:18286/api/v11/get_notes.php?$CREDS" |
    grep -E "Requests/sec|50%|99%|Non-2xx|Socket errors"
$HOSTILE slow --port 18286 --seconds "$SLOW_SECONDS" &
ATTACK=$!
sleep 10 # every attacking connection open
echo "-- the same while 1000 trickling and 1000 silent connections are held"
wrk -t1 -c4 -d$((SLOW_SECONDS - 15))s --timeout 10s --latency -s "$WORK/get_notes.lua" \
    "http://127.0.0.1:18286/api/v11/get_notes.php?$CREDS" |
    grep -E "Requests/sec|50%|99%|Non-2xx|Socket errors"
wait "$ATTACK"
ATTACK_SECONDS=${BENCH_ATTACK_SECONDS:-30}
normal_client() { # what the attack is
    echo "-- get_notes.php, 4 connections, while $1"
    wrk -t1 -c4 -d$((ATTACK_SECONDS - 8))s --timeout 10s --latency -s "$WORK/get_notes.lua" \
        "http://127.0.0.1:18286/api/v11/get_notes.php?$CREDS" |
        grep -E "Requests/sec|50%|99%|Non-2xx|Socket errors"
}
$HOSTILE declared --port 18286 --user 1 --digest "$DIGEST" --seconds "$ATTACK_SECONDS" &
ATTACK=$!
sleep 3
normal_client "32 connections declare 8 MiB uploads and send 17 KiB/s"
wait "$ATTACK"
$HOSTILE pushflood --port 15286 --user 1 --digest "$DIGEST" --seconds 15
$HOSTILE attributes --port 18286 --user 1 --digest "$DIGEST"
$HOSTILE timing --port 18286
$HOSTILE bomb --port 18286 --pid "$SERVER_PID"
# Last: the flood's failed checks make this address wait for a while.
$HOSTILE signins --port 18286 --seconds "$ATTACK_SECONDS" &
ATTACK=$!
sleep 3
normal_client "64 connections at a time send sign-ins of unknown accounts"
wait "$ATTACK"
kill "$SERVER_PID"
fi

if [[ $PARTS == *push* ]]; then
# The server's defaults, but for a fan-out user's 100 devices (past the cap of
# 64 per account) and room for every held connection in the descriptors the
# hard limit gives one process. Idle devices sign in as they connect, 50 to an
# account, no more of them waiting for their sign-in at a time than the
# defaults let one address keep waiting (see push_bench.cpp).
printf '[server]\npush_devices_per_account=128\npush_connections=%d\n' $(($(ulimit -Hn) - 300)) \
    >"$WORK/push.ini"
"$TOOL" setup --db "sqlite:$WORK/push.db" --idle "$IDLE"
printf 'listener 18830 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\n' >"$WORK/mosquitto.conf"
for run in $(seq "${BENCH_REPEAT:-3}"); do
    echo "== run $run: push server, $IDLE idle signed-in connections, fan-out to 5 and 100 devices"
    CONFIG="$WORK/push.ini" start_server "sqlite:$WORK/push.db" 18187 15187
    "$TOOL" push --port 15187 --pid "$SERVER_PID" --idle "$IDLE" --groups 5,100 || echo "(connections lost)"
    kill "$SERVER_PID"
    wait "$SERVER_PID" 2>/dev/null || true
    [[ ${BENCH_REFERENCE:-1} == 1 ]] || continue
    echo "== run $run: reference, mosquitto with the same clients as MQTT subscribers"
    mosquitto -c "$WORK/mosquitto.conf" >/dev/null 2>&1 &
    MQ_PID=$!
    PIDS+=("$MQ_PID")
    sleep 0.5
    "$TOOL" mqtt --port 18830 --pid "$MQ_PID" --idle "$IDLE" --groups 5,100 || echo "(connections lost)"
    kill "$MQ_PID"
    wait "$MQ_PID" 2>/dev/null || true
    sleep 1
done
fi

if [[ $PARTS == *scale* ]]; then
[[ -n ${BENCH_PG:-} ]] || { echo "the scale part needs BENCH_PG: its processes share PostgreSQL" >&2; exit 1; }
# What one process holds: its descriptors but those of the database, the log
# and the listeners (256), and a few web connections.
PER_PROCESS=$(($(ulimit -Hn) - 300))
HELD=$((PER_PROCESS - 200)) # idle devices per process, beside the fan-out groups
printf '[server]\npush_devices_per_account=128\npush_connections=%d\n' "$PER_PROCESS" >"$WORK/scale.ini"
scale() { # processes idle db
    local ports=() pids=()
    for i in $(seq 0 $(($1 - 1))); do
        CONFIG="$WORK/scale.ini" start_server "$3" $((18400 + i)) $((15400 + i))
        ports+=($((15400 + i)))
        pids+=("$SERVER_PID")
    done
    "$TOOL" push --port "$(IFS=,; echo "${ports[*]}")" --pid "$(IFS=,; echo "${pids[*]}")" --idle "$2" \
        --groups 5,100 || echo "(connections lost)"
    kill "${pids[@]}"
    wait "${pids[@]}" 2>/dev/null || true
}
pg_scale() { # processes idle
    local schema=zuvo_scale_$$_$1
    psql -q "$BENCH_PG" -c "create schema $schema" >/dev/null
    local db="$BENCH_PG?options=-csearch_path%3D$schema"
    "$TOOL" setup --db "$db" --idle "$2"
    echo "== $2 idle signed-in connections over $1 server processes on PostgreSQL"
    scale "$1" "$2" "$db"
    psql -q "$BENCH_PG" -c "drop schema $schema cascade" >/dev/null 2>&1
}
SCALE=${BENCH_SCALE:-100000}
for run in $(seq "${BENCH_REPEAT:-3}"); do
    echo "== run $run: $HELD idle signed-in connections, one server process (SQLite)"
    rm -f "$WORK"/scale.db*
    "$TOOL" setup --db "sqlite:$WORK/scale.db" --idle "$HELD"
    scale 1 "$HELD" "sqlite:$WORK/scale.db"
    pg_scale 2 $((2 * HELD))
    pg_scale $(((SCALE + HELD - 1) / HELD)) "$SCALE"
done
fi
