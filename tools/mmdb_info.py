#!/usr/bin/python3
"""Prints the name and build date of a MaxMind DB country database, from its metadata.

    tools/mmdb_info.py FILE                  database type and build date (UTC), tab-separated
    tools/mmdb_info.py FILE --check DOC...   exits 1 unless every DOC names FILE, VERSION and
                                             that build date (2026-06-17 or 17.06.2026)
                                             (--version VERSION: the pinned package version)

The README and the Windows readme state these for the shipped database; --check keeps them
true when the pin in data/country-db/package-lock.json moves. Needs Debian's
python3-maxminddb (its pure-Python reader, so no C extension is involved).
"""

import argparse
import datetime
import sys
from pathlib import Path

import maxminddb


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("database", type=Path)
    parser.add_argument("--check", nargs="+", type=Path, metavar="DOC")
    parser.add_argument("--version", help="the package version the docs must name")
    args = parser.parse_args()

    with maxminddb.open_database(str(args.database), maxminddb.MODE_MMAP) as reader:
        meta = reader.metadata()
    built = datetime.datetime.fromtimestamp(meta.build_epoch, datetime.timezone.utc).date()
    if not args.check:
        print(f"{meta.database_type}\t{built.isoformat()}")
        return 0

    wanted = [args.database.name] + ([args.version] if args.version else [])
    dates = (built.isoformat(), built.strftime("%d.%m.%Y"))
    stale = []
    for doc in args.check:
        text = doc.read_text(encoding="utf-8")
        missing = [w for w in wanted if w not in text]
        if not any(d in text for d in dates):
            missing.append(f"the build date {dates[0]}")
        if missing:
            stale.append(f"{doc}: does not name {', '.join(missing)}")
    for line in stale:
        print(line, file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
