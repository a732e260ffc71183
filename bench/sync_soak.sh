#!/usr/bin/env bash
# The many-computers sync simulation for as long as asked, on SQLite and on a
# throw-away PostgreSQL cluster, with and without the faulty network.
#   bench/sync_soak.sh [minutes per run] [seed]
# A failing run prints its seed; give it again to replay the same schedule.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-30}
# The tests replay one fixed schedule; a soak takes a new one unless told.
seed=${2:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}

cmake --build build --target test_sync_computers >/dev/null
export ZUVO_PG_DIR="/tmp/zuvo-soak-pg-$$"
trap 'scripts/test-postgres.sh stop >/dev/null 2>&1 || true' EXIT
ZUVO_TEST_PG=$(scripts/test-postgres.sh start)
export ZUVO_TEST_PG
export ZUVO_SYNC_SIM_SECONDS=$((minutes * 60))
export ZUVO_SYNC_SIM_SEED="$seed"
echo "seed $seed"
export QT_QPA_PLATFORM=offscreen
build/tests/test_sync_computers --gtest_filter="${ZUVO_SYNC_SIM_FILTER:-*}"
