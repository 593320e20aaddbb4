#!/usr/bin/python3
"""The owners the tool answers against the rows of the CSV files the owner database was made
from, found here by binary search: an oracle that shares nothing with the writer of the
database nor with libmaxminddb.

    owner_csv_diff.py --csv-dir DIR [--ipv4 N] [--ipv6 N] [--seed S] -- PROGRAM ARGS...

PROGRAM ARGS... is the tool with its options (data directory, --asn-db); addresses go to its
standard input, its TSV answers (and, for a few, its JSON ones) are read back. Half the
addresses are drawn anywhere (IPv6 from the global unicast range), half from inside a random
row, so both answers and the absence of one are compared. Each answer must be the row's AS
number and organisation (empty where the row has none), and its network must hold the address
and lie within the row's range.
"""
import argparse
import bisect
import csv
import ipaddress
import json
import os
import random
import subprocess
import sys


def read_rows(path):
    starts, rows = [], []
    with open(path, encoding="utf-8", newline="") as f:
        for first, last, number, organisation in csv.reader(f):
            start = int(ipaddress.ip_address(first))
            starts.append(start)
            rows.append((start, int(ipaddress.ip_address(last)),
                         number if number.isdigit() else "", organisation))
    return starts, rows


def draw(rng, rows, count, anywhere):
    for i in range(count):
        if i % 2:
            yield anywhere()
        else:
            start, end, _, _ = rows[rng.randrange(len(rows))]
            yield rng.randint(start, end)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--csv-dir", required=True)
    parser.add_argument("--ipv4", type=int, default=20000)
    parser.add_argument("--ipv6", type=int, default=5000)
    parser.add_argument("--seed", type=int, default=18)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    rng = random.Random(args.seed)

    tables = {4: read_rows(os.path.join(args.csv_dir, "asn-ipv4.csv")),
              6: read_rows(os.path.join(args.csv_dir, "asn-ipv6.csv"))}
    addresses = []
    for number in draw(rng, tables[4][1], args.ipv4, lambda: rng.getrandbits(32)):
        addresses.append(ipaddress.IPv4Address(number))
    for number in draw(rng, tables[6][1], args.ipv6, lambda: (1 << 125) | rng.getrandbits(125)):
        addresses.append(ipaddress.IPv6Address(number))

    text = "".join(str(a) + "\n" for a in addresses)
    tsv = subprocess.run(args.command + ["--format", "tsv", "--no-reverse"], input=text,
                         capture_output=True, text=True, check=True).stdout.splitlines()
    some = addresses[::97]
    js = subprocess.run(args.command + ["--format", "json", "--no-reverse"],
                        input="".join(str(a) + "\n" for a in some), capture_output=True,
                        text=True, check=True).stdout.splitlines()
    if len(tsv) != len(addresses) or len(js) != len(some):
        sys.exit("%d TSV and %d JSON answers for %d and %d addresses"
                 % (len(tsv), len(js), len(addresses), len(some)))

    found = disagreements = 0
    answers = {}
    for address, line in zip(addresses, tsv):
        fields = line.split("\t")
        number, organisation, network = fields[5:8]
        answers[address] = (number, organisation, network)
        starts, rows = tables[address.version]
        at = bisect.bisect_right(starts, int(address)) - 1
        row = rows[at] if at >= 0 and rows[at][1] >= int(address) else None
        want = (row[2], row[3]) if row else ("", "")
        problem = None
        if (number, organisation) != want:
            problem = "owner %r, the CSV says %r" % ((number, organisation), want)
        elif row:
            found += 1
            net = ipaddress.ip_network(network)
            if address not in net or int(net[0]) < row[0] or int(net[-1]) > row[1]:
                problem = "network %s is not within the CSV's row %s-%s" % (
                    network, ipaddress.ip_address(row[0]), ipaddress.ip_address(row[1]))
        elif network:
            problem = "network %s without an owner" % network
        if problem:
            disagreements += 1
            if disagreements <= 10:
                print("%s: %s" % (address, problem))
    for address, line in zip(some, js):
        got = json.loads(line)
        number, organisation, network = answers[address]
        want = (int(number) if number else None, organisation or None, network or None)
        if (got["as_number"], got["as_org"], got["network"]) != want:
            disagreements += 1
            print("%s: JSON %r, TSV %r" % (address, got, want))
    print("%d IPv4 and %d IPv6 addresses (%d JSON too): %d with an owner, %d disagreements"
          % (args.ipv4, args.ipv6, len(some), found, disagreements))
    sys.exit(1 if disagreements or found < len(addresses) // 3 else 0)


if __name__ == "__main__":
    main()
