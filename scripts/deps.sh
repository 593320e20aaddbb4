#!/usr/bin/env bash
# Installs the Debian packages of one set. Idempotent; run as root (make asks sudo for it only
# when something is missing). Nothing is assumed to be preinstalled: a clean Debian 12 is enough.
#   scripts/deps.sh [--check] [run|test]
#     run       what make run needs to build and run the command-line tool
#     test      everything make test needs: the run set and the tests' tools (the default)
#     --check   installs nothing; exits 1 when something of the set is missing
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
check_only=0
if [[ ${1:-} == --check ]]; then
  check_only=1
  shift
fi
set_name=${1:-test}

run_packages=(
  g++ cmake ninja-build pkg-config
  # the country data, the tool's libraries (OpenSSL's libcrypto for SHA-256), and curl for
  # data the build downloads (with the CA certificates, which curl only recommends)
  geoip-database libmaxminddb-dev libidn2-dev libssl-dev curl ca-certificates
  # the writer that turns the owner data (CSV) into a MaxMind DB file at build time, and
  # libcurl (with OpenSSL: the system's certificates and proxies) for the updater
  libmaxmind-db-writer-perl libcurl4-openssl-dev
)
test_packages=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the fuzz targets: clang with libFuzzer and the sanitizers' runtime, and the symbolizer
  clang-14 libclang-rt-14-dev llvm-14
  python3
  # oracles: the legacy GeoIP library and its CSV generator, libmaxminddb's lookup tool and
  # Python's own reader of MaxMind DB files; country names
  geoip-bin libgeoip-dev mmdb-bin python3-maxminddb iso-codes
  # hermetic name resolution in tests
  util-linux
  # the benchmarks: an anchor that filters addresses by CIDR, and GNU time for peak memory
  grepcidr time
  # Windows cross builds: the 32-bit product, and 64-bit for kernels that cannot run 32-bit
  # wine; only the POSIX thread model, which the toolchain files use (GoogleTest needs it)
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  # running and driving the Windows program (wine32:i386 is decided below), with wine's own
  # fonts, which draw the window as Windows does
  wine wine64 fonts-wine xvfb xauth xdotool xclip imagemagick x11-utils locales icoutils zip unzip
  # the MSIs: wixl builds them, msitools (msibuild, msiinfo) mends and reads their tables,
  # osslsigncode signs them and the programs
  wixl msitools osslsigncode
  # the browser extension's tests drive real browsers
  chromium firefox-esr
)
case $set_name in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: scripts/deps.sh [--check] [run|test]" >&2
    exit 2
    ;;
esac
# Recommended packages would add a third to either set (mesa drivers, media codecs, printing,
# llvm-14-dev ...), and nothing here uses them.
apt_options=(--no-install-recommends)
# A machine may carry a Node.js of its own, with which Debian's npm conflicts.
if [[ $set_name == test ]] && ! command -v node >/dev/null; then
  packages+=(nodejs npm)
fi

# One query for all: dpkg-query is slow to start on a busy machine.
native=$(dpkg --print-architecture)
declare -A have=()
while read -r name status; do
  if [[ $status == installed ]]; then have[${name%:"$native"}]=1; fi
done < <(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' "${packages[@]}" wine32:i386 2>/dev/null)
installed() {
  [[ -n ${have[$1]:-} ]]
}
i386_enabled() {
  dpkg --print-foreign-architectures | grep -qx i386
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done

# 32-bit wine only where it can serve: on a kernel that runs 32-bit programs, from a mirror
# whose i386 libraries have exactly the versions of the amd64 ones (a mirror in the middle of
# a sync may lack them for hours). Elsewhere the Windows suites run on the 64-bit build
# (scripts/wine-arch), so wine32 is not missing there.
wine32=skip
wine32_reason=
if [[ $set_name == test ]] && ! installed wine32:i386; then
  if ! "$here/wine-arch" kernel; then
    wine32_reason="this kernel cannot run 32-bit programs"
  elif ((check_only)); then
    # The install's decision, as the indexes it fetched still give it.
    if ! i386_enabled || apt-get install -s -q wine32:i386 >/dev/null 2>&1; then
      missing+=(wine32:i386)
    fi
  else
    wine32=try
  fi
fi

locale_missing=0
if [[ $set_name == test ]]; then
  locale -a 2>/dev/null | grep -qix 'ru_RU.utf8' || locale_missing=1
fi
# puppeteer-core for the browser tests, as the lock file pins it (it downloads no browser).
browser_tests=$here/../tests/browser
npm_missing=0
if [[ $set_name == test &&
      ( ! -f $browser_tests/node_modules/.package-lock.json ||
        $browser_tests/package-lock.json -nt $browser_tests/node_modules/.package-lock.json ) ]]; then
  npm_missing=1
fi
if ((check_only)); then
  ((${#missing[@]} == 0 && locale_missing == 0 && npm_missing == 0))
  exit
fi

# A mirror in the middle of a sync serves some indexes with the wrong size. The install goes
# on with what was fetched: a package found only in a missing index is then refused by name.
update_indexes() {
  local log failed try
  log=$(mktemp)
  for try in 1 2 3; do
    if apt-get update -q >"$log" 2>&1; then
      rm -f "$log"
      return
    fi
    ((try == 3)) || sleep 5
  done
  failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$log" | tr '\n' ' ')
  [[ -n $failed ]] || failed=$(grep -m1 '^E: ' "$log" || echo 'no reason given')
  rm -f "$log"
  echo "deps.sh: apt-get update failed 3 times (${failed% }); going on with the indexes it fetched" >&2
}

sim=$(mktemp)
trap 'rm -f "$sim"' EXIT
# Asked before anything is downloaded, so that a refusal comes with apt's reason.
resolves() {
  apt-get install -s -q "${apt_options[@]}" "$@" >"$sim" 2>&1
}
refused() {
  echo "deps.sh: apt cannot install the $set_name set:" >&2
  awk '/unmet dependencies:/ { on = 1; next } on || /^E: /' "$sim" >&2
  exit 1
}

if ((${#missing[@]})) || [[ $wine32 == try ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    [[ $wine32 == try ]] && missing+=(wine32:i386)
    echo "deps.sh: missing packages: ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [[ $wine32 == try ]] && ! i386_enabled; then
    dpkg --add-architecture i386
  fi
  update_indexes
  if [[ $wine32 == try ]] && resolves "${missing[@]}" wine32:i386; then
    missing+=(wine32:i386)
  elif resolves "${missing[@]}"; then
    if [[ $wine32 == try ]]; then wine32_reason="apt cannot install it from the indexes at hand"; fi
  else
    refused
  fi
  if ((${#missing[@]})); then
    echo "deps.sh: installing ${missing[*]}"
    apt-get install -y -q "${apt_options[@]}" "${missing[@]}"
  fi
fi
if [[ -n $wine32_reason ]]; then
  echo "deps.sh: no wine32:i386 ($wine32_reason): the Windows suites will run on the 64-bit build"
fi

# Wine needs the Russian locale so that its ANSI code page is 1251.
if ((locale_missing)); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "deps.sh: locale ru_RU.UTF-8 is missing; run as root to generate it" >&2
    exit 1
  fi
  sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen
fi

if ((npm_missing)); then
  # Under sudo the modules belong to the user who runs make, not to root.
  as_user=()
  if [[ $(id -u) -eq 0 && -n ${SUDO_USER:-} && $SUDO_USER != root ]]; then
    as_user=(runuser -u "$SUDO_USER" -- env HOME="$(getent passwd "$SUDO_USER" | cut -d: -f6)")
  fi
  (cd "$browser_tests" && "${as_user[@]}" npm ci --no-audit --no-fund --loglevel=error)
fi
