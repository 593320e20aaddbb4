#!/usr/bin/env bash
# netsorter-cli.exe --update through WinHTTP against the loopback server (run natively; wine
# reaches 127.0.0.1): a download that then answers, a body cut short, two runs at once. The
# faults that do not depend on the transport are tested on Linux (update_test.sh).
#   update_wine_test.sh PROGRAM DATA_DIR SAMPLES_DIR RUNNER...
set -uo pipefail
program=$1
data=$(cd "$2" && pwd)
samples=$(cd "$3" && pwd)
runner=("${@:4}")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
server=
first=
trap 'kill $server $first 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}
win() { printf 'Z:%s' "${1//\//\\}"; }

mkdir -p "$work/data" "$work/srv"
cp "$data/nets.txt" "$data/countries.txt" "$samples/older.mmdb" "$work/data/"
cp "$samples/newer.mmdb" "$work/srv/"
(cd "$work/srv" && sha256sum newer.mmdb >SUMS)
/usr/bin/python3 "$here/../tools/update_server.py" "$work/srv" "$work/port" "$work/log" &
server=$!
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
url=http://127.0.0.1:$(cat "$work/port")
# Wine takes LOCALAPPDATA from the prefix, not from here: the downloads land in the
# prefix's folder, emptied before and after.
[[ -n ${WINEPREFIX:-} ]] || { echo "needs the prefix of scripts/with-wine"; exit 77; }
user=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Netsorter
rm -rf "$user"
trap 'kill $server $first 2>/dev/null; rm -rf "$work" "$user"' EXIT
export NETSORTER_UPDATE_RETRY_MS=50 NETSORTER_UPDATE_STALL_SECONDS=1
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy

line() { printf 'country\t%s\t%s\tдля проверки\n' "$url/$1" "$url/files/SUMS" >"$work/sources"; }
update() {
    "${runner[@]}" "$program" --update --data-dir "$(win "$work/data")" \
        --sources "$(win "$work/sources")" >"$work/out" 2>"$work/err"
    status=$?
}

line short/newer.mmdb
update
[[ $status == 1 ]] && grep -Eq "cut short|broke off" "$work/err" && [[ -z $(ls -A "$user" 2>/dev/null | grep -v update.lock) ]] ||
    fail "cut short: $status $(cat "$work/err"; ls -a "$user")"

line files/newer.mmdb
update
[[ $status == 0 && $(cat "$work/out") == 'country: updated to 2023-11-14 (was 2020-09-13)'* ]] ||
    fail "update: $status $(cat "$work/out" "$work/err")"
[[ $("${runner[@]}" "$program" --data-dir "$(win "$work/data")" --no-reverse --format tsv 100.1.2.3 |
    cut -f5) == NW ]] || fail "the check does not answer from the download"

rm -f "$user"/newer.mmdb*
line stall/newer.mmdb
NETSORTER_UPDATE_STALL_SECONDS=60 "${runner[@]}" "$program" --update --data-dir "$(win "$work/data")" \
    --sources "$(win "$work/sources")" >/dev/null 2>&1 &
first=$!
for _ in $(seq 600); do [[ -e $user/.newer.mmdb.part ]] && break; sleep 0.1; done
update
[[ $status == 1 ]] && grep -q "another update is running" "$work/err" || fail "two runs: $(cat "$work/err")"

((failures == 0)) || { echo "update: $failures failure(s)"; exit 1; }
