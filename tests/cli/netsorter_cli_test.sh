#!/usr/bin/env bash
# End-to-end tests of the netsorter command.
#   netsorter_cli_test.sh CASE PROGRAM DATA_DIR [RUNNER...]
# DATA_DIR holds the tests' own nets.txt (Windows-1251, CR LF), countries.txt and a tiny
# GeoIP.dat: addresses from 128.0.0.0 up have index 1, those below 64.0.0.0 index 2, the rest
# index 3, which countries.txt lacks. RUNNER (scripts/wine-run in a cross build) runs a
# Windows PROGRAM; paths given to it are then written as Z:\... .
# Cases that may resolve names run only inside scripts/hermetic; elsewhere they skip (77).
set -uo pipefail

case_name=$1
program=$2
data=$(cd "$3" && pwd)
runner=("${@:4}")
# The name the program calls itself: the one it was started by (netsorter-cli on Windows).
me=$(basename "$program" .exe)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The user's own folder (downloads, the tables' cache) is the test's, not the real home's.
export XDG_DATA_HOME=$work/user-data
failures=0

fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}

# A path as the program under test spells it.
arg_path() {
    if ((${#runner[@]})); then
        local p
        p=$(realpath -m "$1")
        printf 'Z:%s' "${p//\//\\}"
    else
        printf '%s' "$1"
    fi
}

# Runs the program; its stdout lands in $work/out (or out_file), its stderr (line ends made
# LF) in $work/err and its exit status in $status. Standard input is stdin_file, closed when
# that is "closed".
run() {
    if [[ ${stdin_file:-} == closed ]]; then
        "${runner[@]}" "$program" "$@" >"${out_file:-$work/out}" 2>"$work/err.raw" <&-
    else
        "${runner[@]}" "$program" "$@" >"${out_file:-$work/out}" 2>"$work/err.raw" \
            <"${stdin_file:-/dev/null}"
    fi
    status=$?
    tr -d '\r' <"$work/err.raw" >"$work/err"
}

expect_status() {
    [[ $status == "$1" ]] || fail "$2: exit status $status, expected $1; stderr: $(cat "$work/err")"
}

# Compares a file with the expected text (given on stdin), byte for byte.
expect_file() {
    local file=$1 what=$2
    if ! cmp -s "$file" -; then
        fail "$what: unexpected output"
        python3 -c '
import sys
for name in sys.argv[1:]:
    print("---", "expected" if name.endswith("expected") else "got")
    for line in open(name, "rb").read().decode("utf-8", "replace").splitlines(True):
        print(repr(line))' "$work/expected" "$file" >&2
    fi
}
expect_out() {
    cat >"$work/expected"
    expect_file "$work/out" "$1" <"$work/expected"
}

expect_no_stderr() {
    [[ ! -s $work/err ]] || fail "$1: unexpected stderr: $(cat "$work/err")"
}

require_hermetic() {
    if ! grep -Eq '^127\.0\.0\.9[[:space:]]+hermetic\.test([[:space:]]|$)' /etc/hosts ||
        grep -E '^[[:space:]]*nameserver' /etc/resolv.conf | grep -vEq 'nameserver[[:space:]]+127\.0\.0\.1[[:space:]]*$'; then
        echo "skipped: names may resolve outside the machine here; run inside scripts/hermetic"
        exit 77
    fi
}

# A data directory made of the tests' files minus those named.
data_without() {
    local dir=$work/data-$RANDOM$RANDOM
    mkdir "$dir"
    cp "$data"/nets.txt "$data"/countries.txt "$data"/GeoIP.dat "$dir"/
    local name
    for name in "$@"; do
        rm "$dir/$name"
    done
    printf '%s' "$dir"
}

T=$'\t'
none="Указанный IP не принадлежит ни к одной подсети"
unknown="<не удалось определить страну>"
upper="Верхняя половина (UH)"
lower="Нижняя четверть"

case_formats() {
    require_hermetic
    local d
    d=$(arg_path "$data")
    local addresses=(10.9.8.7 multi.test 192.0.2.10 http://one.test/path 77.88.8.8 010.0.0.8
        nosuch.test 2001:DB8:0::10 v6only.test ::ffff:10.9.8.7 'http://[2001:db8::10]:8080/')

    run --data-dir "$d" --format tsv "${addresses[@]}"
    expect_status 0 tsv
    expect_no_stderr tsv
    expect_out tsv <<EOF
10.9.8.7${T}multi.test${T}10.9.8.7${T}Частные сети${T}$lower${T}${T}${T}
multi.test${T}multi.test${T}10.9.8.7${T}Частные сети${T}$lower${T}${T}${T}
192.0.2.10${T}one.test${T}192.0.2.10${T}Документация${T}$upper${T}${T}${T}
http://one.test/path${T}one.test${T}192.0.2.10${T}Документация${T}$upper${T}${T}${T}
77.88.8.8${T}dns.yandex${T}77.88.8.8${T}$none${T}$unknown${T}${T}${T}
010.0.0.8${T}<Доменное имя отсутсвует>${T}010.0.0.8${T}Частные сети${T}$lower${T}${T}${T}
nosuch.test${T}nosuch.test${T}<IP-адрес отсутсвует>${T}<неправильный IP>${T}<страна не определена>${T}${T}${T}
2001:DB8:0::10${T}v6only.test${T}2001:db8::10${T}$none${T}$unknown${T}${T}${T}
v6only.test${T}v6only.test${T}2001:db8::10${T}$none${T}$unknown${T}${T}${T}
::ffff:10.9.8.7${T}multi.test${T}::ffff:10.9.8.7${T}Частные сети${T}$lower${T}${T}${T}
http://[2001:db8::10]:8080/${T}2001:db8::10${T}2001:db8::10${T}$none${T}$unknown${T}${T}${T}
EOF

    run --data-dir="$d" 10.9.8.7 http://one.test/path nosuch.test
    expect_status 0 text
    expect_no_stderr text
    expect_out text <<EOF
Адрес:         10.9.8.7
Доменное имя:  multi.test
IP-адрес:      10.9.8.7
Тип трафика:   Частные сети
Страна:        $lower
Владелец сети: <не удалось определить владельца>

Адрес:         http://one.test/path
Доменное имя:  one.test
IP-адрес:      192.0.2.10
Тип трафика:   Документация
Страна:        $upper
Владелец сети: <не удалось определить владельца>

Адрес:         nosuch.test
Доменное имя:  nosuch.test
IP-адрес:      <IP-адрес отсутсвует>
Тип трафика:   <неправильный IP>
Страна:        <страна не определена>
Владелец сети: <владелец не определен>
EOF

    # One address on the command line: no address row.
    run --data-dir "$d" 198.51.100.7
    expect_status 0 "text, one address"
    expect_out "text, one address" <<EOF
Доменное имя:  reverse.test
IP-адрес:      198.51.100.7
Тип трафика:   Документация
Страна:        $upper
Владелец сети: <не удалось определить владельца>
EOF

    # A link's international name is asked for in its ASCII form and shown as given.
    run --data-dir "$d" --no-reverse 'http://пример.рф:8080/'
    expect_status 0 "international name"
    expect_no_stderr "international name"
    expect_out "international name" <<EOF
Доменное имя:  пример.рф
IP-адрес:      192.0.2.77
Тип трафика:   Документация
Страна:        $upper
Владелец сети: <не удалось определить владельца>
EOF

    # Control characters are escaped: no address forges a row or drives the terminal.
    run --data-dir "$d" --no-reverse $'10.1.2.3\e[2J\nСтрана:\tРоссия\xc2\x85 \\'
    expect_status 0 "control characters"
    expect_out "control characters" <<EOF
Доменное имя:  <не проверялось ...>
IP-адрес:      10.1.2.3\\x1b[2J\\nСтрана:\\tРоссия\\x85 \\\\
Тип трафика:   Частные сети
Страна:        $lower
Владелец сети: <не удалось определить владельца>
EOF

    run --data-dir "$d" --format=json "${addresses[@]}"
    expect_status 0 json
    expect_no_stderr json
    python3 - "$work/out" <<'EOF' || fail "json: see above"
import json, sys
expected = [
    ["10.9.8.7", "multi.test", "10.9.8.7", "Частные сети", "Нижняя четверть"],
    ["multi.test", "multi.test", "10.9.8.7", "Частные сети", "Нижняя четверть"],
    ["192.0.2.10", "one.test", "192.0.2.10", "Документация", "Верхняя половина (UH)"],
    ["http://one.test/path", "one.test", "192.0.2.10", "Документация", "Верхняя половина (UH)"],
    ["77.88.8.8", "dns.yandex", "77.88.8.8", "Указанный IP не принадлежит ни к одной подсети",
     "<не удалось определить страну>"],
    ["010.0.0.8", "<Доменное имя отсутсвует>", "010.0.0.8", "Частные сети", "Нижняя четверть"],
    ["nosuch.test", "nosuch.test", "<IP-адрес отсутсвует>", "<неправильный IP>",
     "<страна не определена>"],
    ["2001:DB8:0::10", "v6only.test", "2001:db8::10",
     "Указанный IP не принадлежит ни к одной подсети", "<не удалось определить страну>"],
    ["v6only.test", "v6only.test", "2001:db8::10",
     "Указанный IP не принадлежит ни к одной подсети", "<не удалось определить страну>"],
    ["::ffff:10.9.8.7", "multi.test", "::ffff:10.9.8.7", "Частные сети", "Нижняя четверть"],
    ["http://[2001:db8::10]:8080/", "2001:db8::10", "2001:db8::10",
     "Указанный IP не принадлежит ни к одной подсети", "<не удалось определить страну>"],
]
keys = ["address", "domain", "ip", "traffic", "country"]
with open(sys.argv[1], encoding="utf-8") as f:
    lines = f.read().split("\n")
if lines[-1] != "":
    sys.exit("json: the last line has no line end")
rows = [json.loads(line) for line in lines[:-1]]
want = [dict(zip(keys, row), as_number=None, as_org=None, network=None) for row in expected]
if rows != want:
    sys.exit("json: got %r" % rows)
EOF
}

case_stdin() {
    local d
    d=$(arg_path "$data")
    # CR LF line ends, a blank line, Windows-1251 bytes and characters JSON must escape.
    printf '10.1.2.3\r\n\r\n200.1.2.3/24\n10.1.2.3 \xc0\n10.1.2.3 "q" \\ \t.\n' >"$work/in"
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format json
    expect_status 0 "json from stdin"
    expect_no_stderr "json from stdin"
    python3 - "$work/out" <<'EOF' || fail "json from stdin: see above"
import json, sys
nc, no_ip, wrong, no_country = ("<не проверялось ...>", "<IP-адрес отсутсвует>",
                                "<неправильный IP>", "<страна не определена>")
empty = "<Доменное имя отсутсвует>"
expected = [
    ["10.1.2.3", nc, "10.1.2.3", "Частные сети", "Нижняя четверть"],
    ["", empty, no_ip, wrong, no_country],
    ["200.1.2.3/24", nc, "200.1.2.3", "Указанный IP не принадлежит ни к одной подсети",
     "Верхняя половина (UH)"],
    ["10.1.2.3 А", nc, "10.1.2.3 А", "Частные сети", "Нижняя четверть"],
    ['10.1.2.3 "q" \\ \t.', nc, '10.1.2.3 "q" \\ \t.', "Частные сети", "Нижняя четверть"],
]
keys = ["address", "domain", "ip", "traffic", "country"]
with open(sys.argv[1], encoding="utf-8") as f:
    rows = [json.loads(line) for line in f]
want = [dict(zip(keys, row), as_number=None, as_org=None, network=None) for row in expected]
if rows != want:
    sys.exit("json from stdin: got %r" % rows)
EOF

    # A TSV field never holds a tab: the one in the address becomes a blank.
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv
    expect_status 0 "tsv from stdin"
    [[ $(sed -n 5p "$work/out") == "10.1.2.3 \"q\" \\  .${T}<не проверялось ...>${T}10.1.2.3 \"q\" \\  .${T}Частные сети${T}$lower${T}${T}${T}" ]] ||
        fail "tsv from stdin: line 5 is $(sed -n 5p "$work/out" | cat -A)"
    [[ $(awk -F'\t' 'NF != 8' "$work/out" | wc -l) == 0 ]] || fail "tsv from stdin: a line without 8 fields"

    # "-" adds standard input to the addresses on the command line.
    printf '200.9.9.9\n' >"$work/in"
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv 10.9.9.9 -
    expect_status 0 "-"
    expect_out "-" <<EOF
10.9.9.9${T}<не проверялось ...>${T}10.9.9.9${T}Частные сети${T}$lower${T}${T}${T}
200.9.9.9${T}<не проверялось ...>${T}200.9.9.9${T}$none${T}$upper${T}${T}${T}
EOF

    # Without "-" standard input is not read when addresses are given.
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv 10.9.9.9
    expect_out "addresses only" <<EOF
10.9.9.9${T}<не проверялось ...>${T}10.9.9.9${T}Частные сети${T}$lower${T}${T}${T}
EOF

    # A line longer than 64 KiB or holding NUL is no address (NUL bytes from the start are no
    # UTF-16); any line end; all whitespace around a line dropped, Unicode's too.
    { head -c 70000 /dev/zero &&
        printf '\r\n\t10.1.2.3\xc2\xa0\r200.1.2.3\0\n\xe3\x80\x80 10.9.9.9 \r'; } >"$work/in"
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv
    expect_status 0 "odd lines"
    local no_address="${T}<Доменное имя отсутсвует>${T}<IP-адрес отсутсвует>${T}<неправильный IP>"
    expect_out "odd lines" <<EOF
$no_address${T}<страна не определена>${T}${T}${T}
10.1.2.3${T}<не проверялось ...>${T}10.1.2.3${T}Частные сети${T}$lower${T}${T}${T}
$no_address${T}<страна не определена>${T}${T}${T}
10.9.9.9${T}<не проверялось ...>${T}10.9.9.9${T}Частные сети${T}$lower${T}${T}${T}
EOF
    [[ $(grep -c "^$me: "'warning: line [13] of standard input' "$work/err") == 2 ]] ||
        fail "odd lines: stderr: $(cat "$work/err")"

    # UTF-16 with its mark is read, either byte order; without it, refused.
    local form
    for form in utf-16-le utf-16-be; do
        python3 -c 'import sys; sys.stdout.buffer.write("\ufeff10.1.2.3 Ж\r\n10.9.9.9".encode(sys.argv[1]))' \
            $form >"$work/in"
        stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv
        expect_status 0 "$form"
        expect_out "$form" <<EOF
10.1.2.3 Ж${T}<не проверялось ...>${T}10.1.2.3 Ж${T}Частные сети${T}$lower${T}${T}${T}
10.9.9.9${T}<не проверялось ...>${T}10.9.9.9${T}Частные сети${T}$lower${T}${T}${T}
EOF
    done
    python3 -c 'import sys; sys.stdout.buffer.write("10.1.2.3\n".encode("utf-16-le"))' >"$work/in"
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv
    expect_status 1 "UTF-16 without its mark"
    [[ ! -s $work/out && $(cat "$work/err") == "$me: cannot read standard input: "*UTF-16* ]] ||
        fail "UTF-16 without its mark: stderr: $(cat "$work/err")"

    # Text from standard input shows the address row even for one address.
    printf '8.8.8.8' >"$work/in"
    stdin_file=$work/in run --data-dir "$d" --no-reverse
    expect_out "text from stdin" <<EOF
Адрес:         8.8.8.8
Доменное имя:  <не проверялось ...>
IP-адрес:      8.8.8.8
Тип трафика:   Публичные DNS
Страна:        $lower
Владелец сети: <не удалось определить владельца>
EOF
}

case_batch() {
    local d
    d=$(arg_path "$data")
    python3 -c '
for i in range(10000):
    print("%d.%d.%d.%d" % (10 if i % 2 == 0 else 200, i // 256 % 256, i % 256, i % 7))
' >"$work/in"
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv
    expect_status 0 batch
    expect_no_stderr batch
    [[ $(wc -l <"$work/out") == 10000 ]] || fail "batch: $(wc -l <"$work/out") lines, expected 10000"
    [[ $(sed -n 1p "$work/out") == "10.0.0.0${T}<не проверялось ...>${T}10.0.0.0${T}Частные сети${T}$lower${T}${T}${T}" ]] ||
        fail "batch: line 1 is $(sed -n 1p "$work/out")"
    [[ $(sed -n 5000p "$work/out") == "200.19.135.1${T}<не проверялось ...>${T}200.19.135.1${T}$none${T}$upper${T}${T}${T}" ]] ||
        fail "batch: line 5000 is $(sed -n 5000p "$work/out")"
    [[ $(sed -n 10000p "$work/out") == "200.39.15.3${T}<не проверялось ...>${T}200.39.15.3${T}$none${T}$upper${T}${T}${T}" ]] ||
        fail "batch: line 10000 is $(sed -n 10000p "$work/out")"
    local private
    private=$(awk -F'\t' -v c="$lower" '$4 == "Частные сети" && $5 == c' "$work/out" | wc -l)
    [[ $private == 5000 ]] || fail "batch: $private private addresses, expected 5000"
    # Every line answers its own address.
    paste "$work/in" "$work/out" | awk -F'\t' '$1 != $2 || $1 != $4 { bad++ } END { exit bad > 0 }' ||
        fail "batch: lines out of order"
}

# Output is gathered for speed, yet a program that feeds one line and waits for its answer
# (a coprocess) must get it before it sends the next, even a line ended by a lone CR, which
# an LF may yet follow.
case_interactive() {
    local d line
    d=$(arg_path "$data")
    coproc NS { "${runner[@]}" "$program" --data-dir "$d" --no-reverse --format tsv 2>/dev/null; }
    printf '10.1.2.3\r' >&"${NS[1]}"
    if IFS= read -r -t 120 line <&"${NS[0]}"; then
        [[ $line == "10.1.2.3${T}<не проверялось ...>${T}10.1.2.3${T}Частные сети${T}$lower${T}${T}${T}" ]] ||
            fail "interactive: answer is '$line'"
    else
        fail "interactive: no answer while the input stays open"
    fi
    exec {NS[1]}>&-
    wait "$NS_PID"
}

# A failed write or read ends the run with status 1 and its reason; a reader that has gone
# (SIGPIPE ignored, as scripts and CI runners often leave it) ends it silently.
case_streams() {
    local d
    d=$(arg_path "$data")
    out_file=/dev/full run --data-dir "$d" --no-reverse 10.1.2.3
    expect_status 1 "full disk"
    [[ $(cat "$work/err") == "$me: cannot write the output: "?* ]] ||
        fail "full disk: stderr: $(cat "$work/err")"

    (
        trap '' PIPE
        yes 10.1.2.3 2>/dev/null |
            timeout 120 "${runner[@]}" "$program" --data-dir "$d" --no-reverse 2>"$work/err" |
            head -n1 >/dev/null
        echo "${PIPESTATUS[1]}" >"$work/status"
    )
    [[ $(cat "$work/status") == 1 && ! -s $work/err ]] ||
        fail "closed pipe: status $(cat "$work/status"), stderr: $(cat "$work/err")"

    local input
    for input in / closed; do
        stdin_file=$input run --data-dir "$d" --no-reverse
        expect_status 1 "standard input $input"
        [[ $(cat "$work/err") == "$me: cannot read standard input: "?* ]] ||
            fail "standard input $input: stderr: $(cat "$work/err")"
    done
}

case_missing_data() {
    local dir
    dir=$(data_without nets.txt)
    run --data-dir "$(arg_path "$dir")" --no-reverse 10.1.2.3
    expect_status 1 "no nets.txt"
    [[ ! -s $work/out ]] || fail "no nets.txt: stdout not empty: $(cat "$work/out")"
    [[ $(wc -l <"$work/err") == 1 ]] || fail "no nets.txt: stderr is not one line: $(cat "$work/err")"
    grep -q "^$me: "'.*nets\.txt' "$work/err" || fail "no nets.txt: stderr names no file: $(cat "$work/err")"

    local name
    for name in countries.txt GeoIP.dat; do
        dir=$(data_without "$name")
        run --data-dir "$(arg_path "$dir")" --no-reverse --format tsv 10.1.2.3
        expect_status 0 "no $name"
        if [[ $(wc -l <"$work/err") != 1 ]] || ! grep -q "^$me: warning: .*$name" "$work/err"; then
            fail "no $name: stderr: $(cat "$work/err")"
        fi
        expect_out "no $name" <<EOF
10.1.2.3${T}<не проверялось ...>${T}10.1.2.3${T}Частные сети${T}$unknown${T}${T}${T}
EOF
    done

    dir=$(data_without countries.txt GeoIP.dat)
    run --data-dir "$(arg_path "$dir")" --no-reverse --format tsv 200.1.2.3
    expect_status 0 "neither countries.txt nor GeoIP.dat"
    [[ $(wc -l <"$work/err") == 2 ]] || fail "neither: stderr: $(cat "$work/err")"
    expect_out "neither" <<EOF
200.1.2.3${T}<не проверялось ...>${T}200.1.2.3${T}$none${T}$unknown${T}${T}${T}
EOF
}

case_usage() {
    local args
    for args in "--frobnicate 10.1.2.3" "--format xml 10.1.2.3" "--format" "10.1.2.3 --data-dir" \
        "--format= 10.1.2.3" "--jobs 0" "--jobs 2x" "--jobs 99999999999" "--jobs 2 --version"; do
        # shellcheck disable=SC2086
        run $args
        expect_status 2 "$args"
        [[ ! -s $work/out ]] || fail "$args: stdout not empty"
        grep -q "^usage: $me " "$work/err" || fail "$args: no usage on stderr: $(cat "$work/err")"
        [[ $(head -n1 "$work/err") == "$me":* ]] || fail "$args: first line: $(head -n1 "$work/err")"
    done
    # The help in an 80-column console: no line wraps.
    local help=(--help -h -?)
    ((${#runner[@]})) && help+=(/?)
    for args in "${help[@]}"; do
        run "$args"
        expect_status 0 "$args"
        expect_no_stderr "$args"
        grep -q "^usage: $me " "$work/out" || fail "$args: no usage on stdout"
        (($(LC_ALL=C.UTF-8 wc -L <"$work/out") <= 79)) || fail "$args: a line over 79 columns"
    done
}

# What careful users met: the order of "-", options a mode does not use, --version, data
# files and standard input in any encoding, escapes in TSV, whitespace around arguments.
# Each row: status, the pattern the whole output must hold (grep -Pz; "" for no output),
# standard input as printf writes it, the arguments (<LF> stands for a line end).
case_careful_users() {
    local utf16 utf32
    utf16=$(data_without)
    iconv -f CP1251 -t UTF-16 <"$data/nets.txt" >"$utf16/nets.txt"
    iconv -f UTF-8 -t UTF-16 <"$data/countries.txt" >"$utf16/countries.txt"
    utf32=$(data_without)
    iconv -f CP1251 -t UTF-32 <"$data/nets.txt" >"$utf32/nets.txt"
    local d d16 d32 row
    d=$(arg_path "$data")
    d16=$(arg_path "$utf16")
    d32=$(arg_path "$utf32")
    local -a rows=(
        "0|^8\.8\.8\.8\t.*\n1\.1\.1\.1\t|8.8.8.8\n|--no-reverse --format tsv - 1.1.1.1"
        "2|||- -"
        "2|||--uninstall-native-host --country-db x"
        "0|\(4 subnets: 4 IPv4, 0 IPv6\)||--data-dir $d --version"
        "1|^netsorter [^\n]*\n$||--version --data-dir /missing"
        "2|||--version 1.2.3.4"
        "2|||--data-dir= 1.2.3.4"
        "2|||--country-db= 1.2.3.4"
        "2|||--asn-db= 1.2.3.4"
        "0|^10\.1\.2\.3\t[^\n]*\t\t\t\n$||--data-dir $d --asn-db $d/nets.txt --no-reverse --format tsv 10.1.2.3"
        "0|\tЧастные сети\t.*\n200\.1\.2\.3\t.*\tВерхняя половина \(UH\)\t\t\t\n$||--data-dir $d16 --no-reverse --format tsv 10.1.2.3 200.1.2.3"
        "1|||--data-dir $d32 10.1.2.3"
        "1||\xff\xfe\x00\x00\x31\x00\x00\x00|--format tsv"
        "0|^10\.1\.2\.3\\\\x1b\]0;x\\\\x07\t|10.1.2.3\e]0;x\a\n|--no-reverse --format tsv"
        "0|\t2001:db8::1\t||--no-reverse --format tsv 2001:db8::1<LF>"
    )
    for row in "${rows[@]}"; do
        IFS='|' read -r want pattern input args <<<"$row"
        printf "$input" >"$work/in"
        local -a argv
        read -ra argv <<<"$args"
        argv=("${argv[@]//<LF>/$'\n'}")
        stdin_file=$work/in run "${argv[@]}"
        expect_status "$want" "$args"
        if [[ -z $pattern ]]; then
            [[ ! -s $work/out ]] || fail "$args: output: $(cat -A "$work/out")"
        else
            grep -Pzq -- "$pattern" "$work/out" || fail "$args: output: $(cat -A "$work/out")"
        fi
    done
}

# A log: every address of each line with its line number; a summary's counts are the rows'
# counts, and two halves' summaries add up to the whole's.
case_summary() {
    local d
    d=$(arg_path "$data")
    printf '%s\n' '10.1.2.3 - - "GET /?a=200.1.2.3 HTTP/1.1" "Chrome/120.0.6099.109"' \
        'nothing here' 'from [2001:db8::1]:443 via 10.9.8.7:80.' >"$work/in"
    stdin_file=$work/in run --data-dir "$d" --extract --format tsv
    expect_status 0 extract
    [[ $(cut -f1,9 "$work/out" | tr '\t\n' ' |') == "10.1.2.3 1|200.1.2.3 1|2001:db8::1 3|10.9.8.7 3|" ]] ||
        fail "extract: $(cat "$work/out")"
    python3 -c '
import random
r = random.Random(7)
for _ in range(3000):
    print("%d.%d.%d.%d" % (r.choice([10, 64, 200, 150]), r.randrange(256), r.randrange(256), 1))
' >"$work/in"
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv
    awk -F'\t' '{ t[$4]++; c[$5]++; o[$6 == "" ? "<не удалось определить владельца>" : $6]++ }
        END { for (k in t) print "traffic\t" k "\t" t[k]; for (k in c) print "country\t" k "\t" c[k]
              for (k in o) print "owner\t" k "\t" o[k]; print "total\taddresses\t" NR }' \
        "$work/out" | sort >"$work/counted"
    stdin_file=$work/in run --data-dir "$d" --no-reverse --format tsv --summary
    expect_status 0 summary
    sort "$work/out" | cmp -s - "$work/counted" || fail "summary: $(cat "$work/out")"
    # The halves' counts, summed by group and name, are the whole's.
    head -n 1000 "$work/in" >"$work/in1"
    tail -n +1001 "$work/in" >"$work/in2"
    for part in 1 2; do
        stdin_file=$work/in$part out_file=$work/sum$part run --data-dir "$d" --no-reverse --format tsv --summary
    done
    awk -F'\t' '{ s[$1 "\t" $2] += $3 } END { for (k in s) print k "\t" s[k] }' "$work/sum1" "$work/sum2" |
        sort | cmp -s - "$work/counted" || fail "summary: the halves do not add up"
}

case_duplicate_key() {
    local dir
    dir=$(data_without)
    printf '1\tUH\tUHX\tВерхняя половина\tXX\n1\tDU\tDUP\tДубликат\tXX\n2\tНижняя четверть\n' >"$dir/countries.txt"
    run --data-dir "$(arg_path "$dir")" --no-reverse --format tsv 200.1.2.3 10.1.2.3
    expect_status 0 "duplicate key"
    [[ $(wc -l <"$work/err") == 1 ]] || fail "duplicate key: stderr: $(cat "$work/err")"
    grep -q "^$me: "'.*(1).*countries\.txt.* 2 ' "$work/err" ||
        fail "duplicate key: stderr names no key, file and line: $(cat "$work/err")"
    # The first line of a key counts; the lines after the duplicate still load.
    expect_out "duplicate key" <<EOF
200.1.2.3${T}<не проверялось ...>${T}200.1.2.3${T}$none${T}$upper${T}${T}${T}
10.1.2.3${T}<не проверялось ...>${T}10.1.2.3${T}Частные сети${T}$lower${T}${T}${T}
EOF
}

# The country database the user names answers; one that is none is passed over with its
# reason, and --version tells which answers.
case_country_db() {
    local dir
    dir=$(data_without)
    run --data-dir "$(arg_path "$dir")" --country-db "$(arg_path "$dir/nets.txt")" \
        --no-reverse --format tsv 200.1.2.3
    expect_status 0 "a chosen file that is no database"
    grep -q "^$me: "'warning: cannot read .*nets\.txt: not a country database' "$work/err" ||
        fail "a chosen file that is no database: stderr: $(cat "$work/err")"
    expect_out "a chosen file that is no database" <<EOF
200.1.2.3${T}<не проверялось ...>${T}200.1.2.3${T}$none${T}$upper${T}${T}${T}
EOF
    run --data-dir "$(arg_path "$dir")" --version
    expect_status 0 --version
    expect_no_stderr --version
    grep -Eq '^netsorter [0-9]+\.[0-9]+\.[0-9]+$' "$work/out" &&
        grep -Eq '^nets\.txt: .*nets\.txt \([0-9]+ subnets: [0-9]+ IPv4, [0-9]+ IPv6\)$' "$work/out" &&
        grep -Eq '^country database: .*GeoIP\.dat$' "$work/out" ||
        fail "--version: $(cat "$work/out")"
}

# The data shipped beside the program, found in its own directory; checked loosely, as its
# content is not the tests' to fix.
case_shipped_data() {
    require_hermetic
    run --format tsv 10.9.8.7 192.0.2.10 8.8.8.8 multi.test
    expect_status 0 "shipped data"
    expect_no_stderr "shipped data"
    [[ $(wc -l <"$work/out") == 4 ]] || fail "shipped data: $(cat "$work/out")"
    local address domain ip traffic country number organisation network
    while IFS=$T read -r address domain ip traffic country number organisation network; do
        case $address in
            10.9.8.7 | multi.test | 192.0.2.10)
                [[ -n $traffic && $traffic != "$none" && $traffic != Ошибка* ]] ||
                    fail "shipped data: $address has traffic type '$traffic'"
                ;;
        esac
        case $address in
            8.8.8.8)
                [[ $domain == dns.google && $country == *"(US)" && $number == 15169 &&
                    $organisation == "Google LLC" && $network == 8.8.8.0/24 ]] ||
                    fail "shipped data: 8.8.8.8: domain '$domain', country '$country'," \
                        "owner '$number $organisation $network'"
                ;;
            multi.test) [[ $ip == 10.9.8.7 ]] || fail "shipped data: multi.test is '$ip'" ;;
        esac
    done <"$work/out"
    # The same subnet answers alike whether named or dotted.
    [[ $(cut -f4 "$work/out" | sed -n 1p) == $(cut -f4 "$work/out" | sed -n 4p) ]] ||
        fail "shipped data: multi.test and 10.9.8.7 differ"
    # The tables are kept in the user's folder, one file a database, and answer alike from it.
    if ((${#runner[@]} == 0)); then
        [[ $(ls "$XDG_DATA_HOME/netsorter/cache" | grep -c '\.table$') == 2 ]] ||
            fail "shipped data: cache: $(ls -A "$XDG_DATA_HOME/netsorter/cache")"
    fi
    cp "$work/out" "$work/first"
    run --format tsv 10.9.8.7 192.0.2.10 8.8.8.8 multi.test
    cmp -s "$work/out" "$work/first" || fail "shipped data: answers from the cache differ"
    # The shipped current database answers, named with its date and the credit it asks for.
    run --version
    grep -Eq '^country database: .*geo-whois-asn-country\.mmdb \([0-9]{4}-[0-9]{2}-[0-9]{2}, данные NRO \(nro\.net\), CC BY 4\.0\)$' "$work/out" ||
        fail "shipped data: --version: $(cat "$work/out")"
    grep -Eq '^owner database: .*asn\.mmdb \([0-9]{4}-[0-9]{2}-[0-9]{2}, данные RouteViews \(routeviews\.org\), DB-IP \(db-ip\.com\) и NRO \(nro\.net\), CC BY 4\.0\)$' "$work/out" ||
        fail "shipped data: --version: $(cat "$work/out")"
}

# Several threads write byte for byte what one writes, standard error included: a seeded
# million lines with odd ones among them (empty, over 64 KiB, not UTF-8, a NUL, names, URLs,
# IPv6), then name lookups and log lines.
case_jobs() {
    require_hermetic
    python3 -c '
import random, sys
r = random.Random(32)
odd = [b"", b"x" * 70000, b"\xff\xfe8.8.8.8", b"1.2.\x003.4", b"dns.google", b"2001:db8::1",
       b"http://8.8.8.8/x", b" 10.1.2.3 \r", b"010.1.2.3", b"\xd0\xbf\xd1\x80\xd0\xb8.test"]
out = sys.stdout.buffer
for i in range(1000000):
    if r.random() < 0.001:
        out.write(r.choice(odd) + b"\n")
    else:
        out.write(b"%d.%d.%d.%d\n" % tuple(r.randrange(256) for _ in range(4)))
' >"$work/in"
    local jobs
    for jobs in 1 2; do
        stdin_file=$work/in out_file=$work/out$jobs run --no-reverse --format tsv --jobs $jobs
        expect_status 0 "--jobs $jobs"
        mv "$work/err" "$work/err$jobs"
    done
    [[ $(wc -l <"$work/out1") == 1000000 ]] || fail "--jobs 1: $(wc -l <"$work/out1") lines"
    cmp -s "$work/out1" "$work/out2" || fail "--jobs 2 differs from one job on stdout"
    cmp -s "$work/err1" "$work/err2" || fail "--jobs 2 differs from one job on stderr"
    head -n 3000 "$work/in" >"$work/few"
    sed 's/$/ GET \/ 8.8.4.4/' "$work/few" >"$work/log"
    local row
    while read -ra row; do
        for jobs in 1 3; do
            stdin_file=$work/${row[0]} out_file=$work/out$jobs run "${row[@]:1}" --jobs $jobs
            mv "$work/err" "$work/err$jobs"
        done
        cmp -s "$work/out1" "$work/out3" && cmp -s "$work/err1" "$work/err3" ||
            fail "${row[*]} --jobs 3 differs from one job"
    done <<'ROWS'
few --format text
log --extract --format json
log --extract --reverse --summary
ROWS
}

# The host's registration for this user's browsers on Linux: a manifest, valid UTF-8 JSON
# naming the wrapper, wherever each browser looks; removal leaves the home as it was before.
case_native_host() {
    if ((${#runner[@]})); then
        echo "skipped: on Windows the browsers find the host through Netsorter.exe"
        exit 77
    fi
    unset XDG_CONFIG_HOME XDG_DATA_HOME
    local home=$work/home tree
    mkdir -p "$home" "$work/empty"
    : >"$work/file"
    local row args
    for row in "1 --install-native-host --data-dir $work/none" \
        "1 --install-native-host --data-dir $work/file" \
        "1 --install-native-host --data-dir $work/empty" \
        "2 --install-native-host 10.1.2.3" "2 --install-native-host --format tsv" \
        "2 --install-native-host --no-reverse" "2 --install-native-host -" \
        "2 --uninstall-native-host --data-dir $data" \
        "2 --install-native-host --uninstall-native-host"; do
        args=${row#* }
        # shellcheck disable=SC2086
        HOME=$home run $args
        expect_status "${row%% *}" "$args"
        [[ $(head -n1 "$work/err") == "$me":* ]] || fail "$args: stderr: $(cat "$work/err")"
        [[ -z $(ls -A "$home") ]] || fail "$args: wrote into HOME"
    done

    # Characters JSON must escape; folders of two browsers there before, one with another host.
    # The browser tests see the manifests' contents and their places under no XDG_CONFIG_HOME.
    home=$work/$'h "q" \\ \t ж'
    local config=$home/xdg
    mkdir -p "$config/google-chrome/NativeMessagingHosts" "$home/.mozilla"
    : >"$config/google-chrome/NativeMessagingHosts/other.json"
    tree=$(cd "$home" && find . | sort)
    HOME=$home XDG_CONFIG_HOME=$config run --install-native-host --data-dir "$data"
    expect_status 0 install
    python3 - "$home" "$config" <<'EOF' || fail "install: see above"
import json, os, sys
home, config = sys.argv[1:]
firefox = os.path.join(home, ".mozilla/native-messaging-hosts")
places = [os.path.join(config, browser, "NativeMessagingHosts") for browser in
          ["chromium", "google-chrome", "microsoft-edge", "BraveSoftware/Brave-Browser", "vivaldi"]]
found = sorted(d for d, _, files in os.walk(home) if "netsorter.json" in files)
if found != sorted(places + [firefox]):
    sys.exit("manifests in %r" % found)
for place in places + [firefox]:
    m = json.loads(open(os.path.join(place, "netsorter.json"), "rb").read().decode("utf-8"))
    if (m["path"] != os.path.join(home, ".local/share/netsorter/native-host")
            or ("allowed_extensions" in m) != (place == firefox) or not os.access(m["path"], os.X_OK)):
        sys.exit("%s: %r" % (place, m))
EOF
    # Again over the first: no folder is taken for one it made.
    HOME=$home XDG_CONFIG_HOME=$config run --install-native-host
    HOME=$home XDG_CONFIG_HOME=$config run --uninstall-native-host
    expect_status 0 uninstall
    [[ $(cd "$home" && find . | sort) == "$tree" ]] || fail "uninstall: HOME is not as it was before"

    # A path that is not UTF-8 cannot be a manifest's; the wrapper can go elsewhere.
    home=$work/$'\xff'
    mkdir "$home"
    HOME=$home run --install-native-host
    expect_status 1 "HOME not UTF-8"
    grep -q XDG_DATA_HOME "$work/err" || fail "HOME not UTF-8: stderr: $(cat "$work/err")"
    [[ -z $(ls -A "$home") ]] || fail "HOME not UTF-8: wrote into HOME"
    HOME=$home XDG_DATA_HOME=$work/data run --install-native-host
    expect_status 0 "HOME not UTF-8, XDG_DATA_HOME"
    python3 -c 'import json, sys; print(json.loads(open(sys.argv[1], "rb").read().decode())["path"])' \
        "$home/.config/vivaldi/NativeMessagingHosts/netsorter.json" >"$work/path"
    [[ $(cat "$work/path") == "$work/data/netsorter/native-host" ]] ||
        fail "HOME not UTF-8, XDG_DATA_HOME: path $(cat "$work/path")"
}

if ! declare -F "case_$case_name" >/dev/null; then
    echo "unknown case: $case_name" >&2
    exit 2
fi
"case_$case_name"
if ((failures)); then
    echo "$case_name: $failures failure(s)" >&2
    exit 1
fi
echo "$case_name: ok"
