#!/usr/bin/env bash
# What scripts/deps.sh decides, on a copy of it whose machine is stubbed: apt-get, dpkg and
# dpkg-query answer as each row says, and scripts/wine-arch says whether the kernel runs
# 32-bit programs. Nothing is fetched or installed, and no root is needed.
#   deps_test.sh decisions SCRIPTS_DIR
#   deps_test.sh probe SCRIPTS_DIR     the kernel probe is a 32-bit program that exits 0
set -uo pipefail
mode=$1
scripts=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [[ $mode == probe ]]; then
    "$scripts/wine-arch" kernel && exit 0
    # A broken probe would look like a kernel without 32-bit programs; an emulator tells.
    command -v qemu-i386 >/dev/null || { echo "no qemu-i386: skipped"; exit 77; }
    "$scripts/wine-arch" probe "$work/probe" && qemu-i386 "$work/probe" && exit 0
    echo "FAIL: the probe does not run as a 32-bit program under qemu-i386" >&2
    exit 1
fi

tree=$work/tree
bin=$work/bin
mkdir -p "$tree/scripts" "$tree/tests/browser/node_modules" "$bin"
cp "$scripts/deps.sh" "$tree/scripts/"
touch -d 2000-01-01 "$tree/tests/browser/package-lock.json"
touch "$tree/tests/browser/node_modules/.package-lock.json"

stub() {
    printf '#!/usr/bin/env bash\n%s\n' "$2" >"$1"
    chmod +x "$1"
}
# Each call that changes or asks apt goes to $LOG as one word: update, sleep, arch:ARCH,
# sim:PACKAGES or install:PACKAGES (comma-separated).
stub "$bin/apt-get" '
verb=$1; shift
if [[ $verb == update ]]; then
    n=$(($(cat "$STATE/updates") + 1)); echo $n >"$STATE/updates"
    echo -n "update " >>"$LOG"
    if ((n <= UPDATE_FAILS)); then
        echo "Err:9 http://mirror/debian-security bookworm-security/main i386 Packages"
        echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi
    exit 0
fi
word=install packages=()
for a in "$@"; do
    case $a in
        -s) word=sim ;;
        -*) ;;
        *) packages+=("$a") ;;
    esac
done
list=$(IFS=,; echo "${packages[*]}")
echo -n "$word:$list " >>"$LOG"
for p in "${packages[@]}"; do
    if [[ " $REFUSED " == *" $p "* ]]; then
        echo "The following packages have unmet dependencies:"
        echo " $p : Depends: libwine (= 8.0~repack-4) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
    fi
done'
stub "$bin/dpkg" '
case $1 in
    --print-architecture) echo amd64 ;;
    --print-foreign-architectures) cat "$STATE/archs" ;;
    --add-architecture) echo "$2" >>"$STATE/archs"; echo -n "arch:$2 " >>"$LOG" ;;
esac'
stub "$bin/dpkg-query" '
for p in "${@:3}"; do
    [[ " $MISSING " == *" $p "* ]] || echo "$p:amd64 installed"
done'
stub "$bin/sleep" 'echo -n "sleep " >>"$LOG"'
stub "$bin/id" 'echo 0'
stub "$bin/locale" 'echo ru_RU.utf8'
stub "$bin/node" ''

failures=0
# name | arguments | missing packages | failing updates | refused packages | kernel runs
# 32-bit programs | i386 enabled | exit status | apt and dpkg calls | a line of the output
while IFS='|' read -r name args missing update_fails refused kernel32 i386 status calls line; do
    [[ $name =~ ^[[:space:]]*(#|$) ]] && continue
    read -r name <<<"$name"
    read -r status <<<"$status"
    read -r calls <<<"$calls"
    read -r line <<<"$line"
    export STATE=$work/state LOG=$work/log MISSING=$missing UPDATE_FAILS=$update_fails REFUSED=$refused
    rm -rf "$STATE" && mkdir "$STATE" && echo 0 >"$STATE/updates" && : >"$LOG"
    [[ $i386 == *yes* ]] && echo i386 >"$STATE/archs" || : >"$STATE/archs"
    stub "$tree/scripts/wine-arch" "[[ \$1 == kernel ]] && exit $([[ $kernel32 == *yes* ]] && echo 0 || echo 1)"

    # shellcheck disable=SC2086
    out=$(PATH=$bin:/usr/bin:/bin bash "$tree/scripts/deps.sh" $args 2>&1)
    got_status=$?
    got_calls=$(cat "$LOG")
    got_calls=${got_calls% }
    ((got_status == status)) || { echo "FAIL: $name: exit status $got_status, expected $status"; failures=$((failures + 1)); }
    [[ $got_calls == "${calls#-}" ]] || { echo "FAIL: $name: calls '$got_calls', expected '$calls'"; failures=$((failures + 1)); }
    if [[ $line != - ]] && ! grep -qE -- "$line" <<<"$out"; then
        echo "FAIL: $name: no line matching '$line' in:"; echo "$out"; failures=$((failures + 1))
    fi
    # apt's own account of a failed update stays out of sight: one line says it all.
    if grep -q 'Mirror sync' <<<"$out"; then
        echo "FAIL: $name: apt's update errors are shown:"; echo "$out"; failures=$((failures + 1))
    fi
done <<'TABLE'
# A mirror in the middle of a sync
index fails once: retried quietly | test | cmake | 1 | | no | no | 0 | update sleep update sim:cmake install:cmake | ^deps.sh: installing cmake$
index fails on every try: one line, the install goes on | test | cmake | 9 | | no | no | 0 | update sleep update sleep update sim:cmake install:cmake | ^deps.sh: apt-get update failed 3 times \(http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz\); going on
a package apt refuses stops it, named with apt's reason | test | cmake chromium | 0 | chromium | no | no | 1 | update sim:cmake,chromium | ^ chromium : Depends: libwine
# 32-bit wine only where it serves
kernel without 32-bit programs: no i386, no wine32 | test | cmake wine32:i386 | 0 | | no | no | 0 | update sim:cmake install:cmake | ^deps.sh: no wine32:i386 \(this kernel cannot run 32-bit programs\): the Windows suites will run on the 64-bit build$
wine32 refused by the mirror: the rest is installed | test | cmake wine32:i386 | 0 | wine32:i386 | yes | no | 0 | arch:i386 update sim:cmake,wine32:i386 sim:cmake install:cmake | ^deps.sh: no wine32:i386 \(apt cannot install it .*64-bit build$
wine32 where it serves | test | wine32:i386 | 0 | | yes | yes | 0 | update sim:wine32:i386 install:wine32:i386 | ^deps.sh: installing wine32:i386$
# The run set
its own packages, no 32-bit wine | run | curl chromium wine32:i386 | 0 | | yes | no | 0 | update sim:curl install:curl | ^deps.sh: installing curl$
# --check, told the set, decides as the install does
run set complete, test set not | --check run | chromium | 0 | | no | no | 0 | - | -
run set incomplete | --check run | curl | 0 | | no | no | 1 | - | -
wine32 where the kernel cannot run it | --check test | wine32:i386 | 0 | | no | no | 0 | - | -
wine32 the mirror refuses | --check test | wine32:i386 | 0 | wine32:i386 | yes | yes | 0 | sim:wine32:i386 | -
wine32 where it serves | --check test | wine32:i386 | 0 | | yes | yes | 1 | sim:wine32:i386 | -
TABLE

((failures == 0)) || { echo "$failures failures"; exit 1; }
