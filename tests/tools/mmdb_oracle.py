#!/usr/bin/python3
"""The country answers of python3-maxminddb's pure-Python reader, a MaxMind DB reader
independent of libmaxminddb, for seeded random addresses; the oracle of the .mmdb tests.

    mmdb_oracle.py [--owners] [--ipv4 N] [--ipv6 N] [--seed S] DB OUT [DB OUT ...]

Each line of OUT: the family (4 or 6), the address as hexadecimal digits, the length of the
network the reader found it in (for IPv4 counted from the IPv4 address's first bit, also in
an IPv6 tree) and the country code, or "-" for none. The code is country_code where the
record has it, else country.iso_code. IPv6 addresses (only for IPv6 trees) are drawn from
the global unicast range, from ::/96 (IPv4 as libmaxminddb finds it), from the aliases
::ffff:0:0/96 and 2002::/16, and from anywhere.

With --owners the answer is the owner instead of the country: the AS number and the
organisation's UTF-8 bytes in hexadecimal, each "-" where the record has none (or none that
is a number, or text).
"""
import argparse
import ipaddress
import os
import random

import maxminddb


def country(record):
    if not isinstance(record, dict):
        return None
    if "country_code" in record:
        return record["country_code"]
    inner = record.get("country")
    if isinstance(inner, dict):
        return inner.get("iso_code")
    return None


def ipv6_address(rng):
    kind = rng.randrange(6)
    if kind < 2:
        return (1 << 125) | rng.getrandbits(125)
    if kind == 2:
        return rng.getrandbits(32)
    if kind == 3:
        return (0xFFFF << 32) | rng.getrandbits(32)
    if kind == 4:
        return (0x2002 << 112) | rng.getrandbits(112)
    return rng.getrandbits(128)


def owner(record):
    if not isinstance(record, dict):
        return "- -"
    number = record.get("autonomous_system_number")
    organisation = record.get("autonomous_system_organization")
    number = str(number) if isinstance(number, int) and 0 <= number < 1 << 32 else "-"
    organisation = organisation.encode().hex() if isinstance(organisation, str) and organisation else "-"
    return number + " " + organisation


def answer(reader, out, family, address, owners):
    if family == 4:
        ip, digits = ipaddress.IPv4Address(address), 8
    else:
        ip, digits = ipaddress.IPv6Address(address), 32
    record, length = reader.get_with_prefix_len(ip)
    what = owner(record) if owners else country(record) or "-"
    out.write("%d %0*x %d %s\n" % (family, digits, address, length, what))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--ipv4", type=int, default=100000)
    parser.add_argument("--ipv6", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=18)
    parser.add_argument("--owners", action="store_true")
    parser.add_argument("pairs", nargs="+", metavar="DB OUT")
    args = parser.parse_args()
    if len(args.pairs) % 2:
        parser.error("a database without an output file")
    for db, out_path in zip(args.pairs[::2], args.pairs[1::2]):
        reader = maxminddb.open_database(db, maxminddb.MODE_MMAP)
        assert type(reader) is maxminddb.reader.Reader, "not the pure-Python reader"
        rng = random.Random(args.seed)
        os.makedirs(os.path.dirname(os.path.abspath(out_path)), exist_ok=True)
        with open(out_path, "w") as out:
            for _ in range(args.ipv4):
                answer(reader, out, 4, rng.getrandbits(32), args.owners)
            if reader.metadata().ip_version == 6:
                for _ in range(args.ipv6):
                    answer(reader, out, 6, ipv6_address(rng), args.owners)
        reader.close()


if __name__ == "__main__":
    main()
