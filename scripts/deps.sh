#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent; run as root.
# Nothing is assumed to be preinstalled: a clean Debian 12 machine is enough.
#   scripts/deps.sh --check   installs nothing; exits 1 when something is missing
set -euo pipefail
check_only=0
[[ ${1:-} == --check ]] && check_only=1

packages=(
  # native build and unit tests
  build-essential cmake ninja-build pkg-config git
  # international host names
  libidn2-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the fuzz targets: clang with libFuzzer and the sanitizers' runtime, and the symbolizer
  clang-14 libclang-rt-14-dev llvm-14
  python3
  # country data: the real database, the oracle library, the CSV generator, country names
  geoip-database geoip-bin libgeoip-dev iso-codes
  # MaxMind DB: the reader library, curl to fetch the pinned database (and, for the Windows
  # and fuzz builds, the library's source), and the tests' oracles
  libmaxminddb-dev curl ca-certificates mmdb-bin python3-maxminddb
  # hermetic name resolution in tests
  util-linux
  # the benchmarks: an anchor that filters addresses by CIDR, and GNU time for peak memory
  grepcidr time
  # Windows cross builds: the 32-bit product, and 64-bit for kernels that cannot run 32-bit wine
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  # running and driving the Windows program
  wine wine32:i386 wine64 xvfb xauth xdotool xclip imagemagick x11-utils locales icoutils zip unzip
  # the browser extension's tests drive real browsers
  chromium firefox-esr
)
# A machine may carry a Node.js of its own, with which Debian's npm conflicts.
if ! command -v node >/dev/null; then
  packages+=(nodejs npm)
fi

missing=()
need_i386=0
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
    [[ $p == *:i386 ]] && need_i386=1
  fi
done

locale_missing=0
locale -a 2>/dev/null | grep -qix 'ru_RU.utf8' || locale_missing=1
# puppeteer-core for the browser tests, as the lock file pins it (it downloads no browser).
browser_tests=$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/browser" && pwd)
npm_missing=0
if [[ ! -f $browser_tests/node_modules/.package-lock.json ||
      $browser_tests/package-lock.json -nt $browser_tests/node_modules/.package-lock.json ]]; then
  npm_missing=1
fi
if ((check_only)); then
  ((${#missing[@]} == 0 && locale_missing == 0 && npm_missing == 0))
  exit
fi

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "deps.sh: missing packages: ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  if ((need_i386)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
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
  (cd "$browser_tests" && npm ci --no-audit --no-fund --loglevel=error)
fi
