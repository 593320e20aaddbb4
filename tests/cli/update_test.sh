#!/usr/bin/env bash
# netsorter --update against a server on 127.0.0.1 (tests/tools/update_server.py) that
# serves the tests' sample databases with the faults real servers have. Every fault must
# end with status 1, a reason naming the database, the files in use untouched and no
# temporary file left.
#   update_test.sh PROGRAM DATA_DIR SAMPLES_DIR
set -uo pipefail
program=$1
data=$(cd "$2" && pwd)
samples=$(cd "$3" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
server=
trap 'kill $server 2>/dev/null; umount "$work/full" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}

# The data folder in use: the tests' nets.txt and an old country database.
mkdir -p "$work/data" "$work/srv" "$work/home"
cp "$data/nets.txt" "$data/countries.txt" "$work/data/"
cp "$samples/older.mmdb" "$work/data/"
cp "$samples/newer.mmdb" "$samples/older.mmdb" "$samples/owners.mmdb" "$work/srv/"
(cd "$work/srv" && sha256sum newer.mmdb older.mmdb owners.mmdb >SUMS &&
    grep -v newer SUMS >SUMS-without-newer && sed 's/^[0-9a-f]/0/' SUMS >SUMS-wrong)
/usr/bin/python3 "$here/../tools/update_server.py" "$work/srv" "$work/port" "$work/log" &
server=$!
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
url=http://127.0.0.1:$(cat "$work/port")
export XDG_DATA_HOME=$work/home NETSORTER_UPDATE_RETRY_MS=50 NETSORTER_UPDATE_STALL_SECONDS=1
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy
user=$XDG_DATA_HOME/netsorter

# A sources line: kind, the file's path on the server, the list's path.
line() { printf '%s\t%s\t%s\tдля проверки\n' "$1" "$url/$2" "$url/files/$3"; }
state() { (cd "$work" && find data home -type f ! -name update.lock -exec sha256sum {} + | sort); }
update() {
    "$program" --update --data-dir "$work/data" --sources "$work/sources" "$@" \
        >"$work/out" 2>"$work/err"
    status=$?
}

# Each fault: what sources.txt holds, and a part of the reason on stderr.
rows=(
    "$(line country files/newer.mmdb SUMS-wrong)|SHA-256 is"
    "$(line country short/newer.mmdb SUMS)|transfer closed"
    "$(line country missing/newer.mmdb SUMS)|answered 404"
    "$(line country busy/newer.mmdb SUMS)|answered 503 (3 tries)"
    "$(line country stall/newer.mmdb SUMS)|too slow"
    "$(line country files/owners.mmdb SUMS)|no country database"
    "$(line owner files/newer.mmdb SUMS)|no owner database"
    "$(line country files/newer.mmdb SUMS-without-newer)|names no newer.mmdb"
    "$(printf 'country\thttp://example.com/a.mmdb\thttps://example.com/SUMS\tx')|only for this machine"
    "$(printf 'country\t%s\n' "$url/files/newer.mmdb")|line 1: 4 fields"
)
for row in "${rows[@]}"; do
    IFS='|' read -r sources reason <<<"$row"
    printf '%s\n' "$sources" >"$work/sources"
    before=$(state)
    update
    [[ $status == 1 ]] || fail "$sources: status $status"
    grep -qF -- "$reason" "$work/err" || fail "$sources: stderr $(cat "$work/err")"
    [[ $(state) == "$before" ]] || fail "$sources: the files changed"
done
grep -q example.com "$work/log" && fail "a refused source was fetched"

# Both databases downloaded, named by --version and answering; a retried 503 is no failure.
{ line country flaky/newer.mmdb SUMS; line owner files/owners.mmdb SUMS; } >"$work/sources"
update
[[ $status == 0 && $(cat "$work/out") == $'country: updated to 2023-11-14 (was 2020-09-13)\nowner: updated to '* ]] ||
    fail "update: $status $(cat "$work/out" "$work/err")"
"$program" --version --data-dir "$work/data" >"$work/out"
grep -q "^country database: $user/newer.mmdb (2023-11-14, для проверки)$" "$work/out" &&
    grep -q "^owner database: $user/owners.mmdb (" "$work/out" || fail "--version: $(cat "$work/out")"
[[ $("$program" --data-dir "$work/data" --no-reverse --format tsv 100.1.2.3 10.1.2.3 | cut -f5,6) == $'NW\t\n<не удалось определить страну>\t64500' ]] ||
    fail "the check does not answer from the downloads"
"$program" --version --data-dir "$work/data" --country-db "$work/data/older.mmdb" |
    grep -q "chosen file (2020-09-13) is older than the download $user/newer.mmdb" ||
    fail "--version does not tell that the choice is older than the download"

# Again: the lists only, no database, in JSON.
: >"$work/log"
update --format json
[[ $status == 0 && $(grep -c '"status": "current"' "$work/out") == 2 ]] || fail "again: $(cat "$work/out")"
grep -q '\.mmdb$' "$work/log" && fail "again: a database was downloaded: $(cat "$work/log")"

# An older build than the one in use is refused.
line country files/older.mmdb SUMS >"$work/sources"
before=$(state)
update
[[ $status == 1 ]] && grep -q "older build (2020-09-13) than the database in use (2023-11-14" "$work/err" &&
    [[ $(state) == "$before" ]] || fail "older build: $status $(cat "$work/err")"

# Two runs at once, the first killed mid-download: the second is refused at once, the next
# one cleans up after the killed one and succeeds.
rm -f "$user"/newer.mmdb*
line country stall/newer.mmdb SUMS >"$work/sources"
NETSORTER_UPDATE_STALL_SECONDS=60 "$program" --update --data-dir "$work/data" \
    --sources "$work/sources" >/dev/null 2>&1 &
first=$!
for _ in $(seq 100); do [[ -e $user/.newer.mmdb.part ]] && break; sleep 0.1; done
update
[[ $status == 1 ]] && grep -q "another update is running" "$work/err" || fail "two runs: $(cat "$work/err")"
kill -9 $first
wait $first 2>/dev/null
[[ -e $user/.newer.mmdb.part ]] || fail "killed: no temporary file to clean up"
line country files/newer.mmdb SUMS >"$work/sources"
update
[[ $status == 0 && ! -e $user/.newer.mmdb.part && -e $user/newer.mmdb ]] ||
    fail "after the killed run: $status $(ls -a "$user")"

# A full disk (where this runs as root and may mount a small file system).
if [[ $(id -u) == 0 ]] && mkdir -p "$work/full" && mount -t tmpfs -o size=64k tmpfs "$work/full" 2>/dev/null; then
    XDG_DATA_HOME=$work/full
    export XDG_DATA_HOME
    line owner files/owners.mmdb SUMS >"$work/sources"
    update
    [[ $status == 1 ]] && grep -q "No space left" "$work/err" && [[ -z $(ls -A "$work/full/netsorter" | grep -v update.lock) ]] ||
        fail "full disk: $status $(cat "$work/err"; ls -a "$work/full/netsorter")"
fi

((failures == 0)) || { echo "update: $failures failure(s)"; exit 1; }
