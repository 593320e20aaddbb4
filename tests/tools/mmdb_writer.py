#!/usr/bin/env python3
"""A small writer of MaxMind DB (version 2) files for the tests; Debian ships none.

    mmdb_writer.py samples DIR      writes the sample databases of the tests into DIR
    mmdb_writer.py fuzz-seeds DIR   writes the seeds of tests/fuzz/mmdb_fuzz.cpp into DIR

As a module: database(networks, ...) gives the bytes of a database of (CIDR text, record)
pairs; a record is any value the format holds (maps, texts, numbers, lists). It writes:
  - a search tree of 24-, 28- or 32-bit records, IPv4 networks of an IPv6 tree under ::/96,
    and, when asked, ::ffff:0:0/96 and 2002::/16 aliased to that subtree as MaxMind's
    writers do (the same node reached from three places);
  - the 16 zero bytes between the tree and the data section;
  - each distinct record once, and maps and texts repeated inside records as pointers;
  - the marker b"\\xab\\xcd\\xefMaxMind.com" and the metadata map, with overrides for
    writing damaged files (None drops a key).
Its files were checked once with mmdblookup and python3-maxminddb on the first and last
address of every network written; in the tests libmaxminddb (through our loader and in the
fuzz target) and python3-maxminddb's pure-Python reader both read them.
"""
import ipaddress
import json
import os
import random
import struct
import sys

METADATA_MARKER = b"\xab\xcd\xefMaxMind.com"


class Uint16(int):
    pass


class Uint32(int):
    pass


class Uint64(int):
    pass


class _Encoder:
    """A data section. Maps and texts met again, at the top or inside records, are written as
    pointers to their first copy, as MaxMind's writers do, so that readers must follow them."""

    def __init__(self, share=True):
        self.data = bytearray()
        self.share = share
        self.seen = {}

    def _control(self, type_number, size):
        if size < 29:
            head, extra = size, b""
        elif size < 285:
            head, extra = 29, bytes([size - 29])
        elif size < 65821:
            head, extra = 30, struct.pack(">H", size - 285)
        else:
            head, extra = 31, struct.pack(">I", size - 65821)[1:]
        if type_number <= 7:
            self.data += bytes([(type_number << 5) | head]) + extra
        else:
            self.data += bytes([head, type_number - 7]) + extra

    def _pointer(self, offset):
        if offset < 2048:
            self.data += bytes([0x20 | (offset >> 8), offset & 0xFF])
        elif offset < 526336:
            v = offset - 2048
            self.data += bytes([0x28 | (v >> 16), (v >> 8) & 0xFF, v & 0xFF])
        elif offset < 134744064:
            v = offset - 526336
            self.data += bytes([0x30 | (v >> 24)]) + struct.pack(">I", v)[1:]
        else:
            self.data += bytes([0x38]) + struct.pack(">I", offset)

    def add(self, value):
        """Writes value, or a pointer to its earlier copy; the offset of what was written."""
        offset = len(self.data)
        key = None
        if self.share and isinstance(value, (str, dict)):
            key = json.dumps(value, sort_keys=True)
            if key in self.seen:
                self._pointer(self.seen[key])
                return offset
            self.seen[key] = offset
        if isinstance(value, bool):
            self._control(14, int(value))
        elif isinstance(value, str):
            raw = value.encode("utf-8")
            self._control(2, len(raw))
            self.data += raw
        elif isinstance(value, float):
            self._control(3, 8)
            self.data += struct.pack(">d", value)
        elif isinstance(value, bytes):
            self._control(4, len(value))
            self.data += value
        elif isinstance(value, int):
            kind = {Uint16: 5, Uint32: 6, Uint64: 9}.get(type(value))
            if kind is None:
                kind = 6 if 0 <= value < 2**32 else 9
            raw = int(value).to_bytes(16, "big").lstrip(b"\0")
            self._control(kind, len(raw))
            self.data += raw
        elif isinstance(value, list):
            self._control(11, len(value))
            for v in value:
                self.add(v)
        elif isinstance(value, dict):
            self._control(7, len(value))
            for k, v in value.items():
                self.add(k)
                self.add(v)
        else:
            raise TypeError(type(value))
        return offset

    def offset_of(self, value):
        """Where a record starts: its first copy when there is one."""
        if self.share and isinstance(value, (str, dict)):
            key = json.dumps(value, sort_keys=True)
            if key in self.seen:
                return self.seen[key]
        return self.add(value)


class _Node:
    __slots__ = ("children",)

    def __init__(self, children=None):
        self.children = children or [None, None]  # None: empty; _Node; ("data", record)


def _insert(root, bits, length, value):
    node = root
    for depth in range(length - 1):
        bit = bits[depth]
        child = node.children[bit]
        if not isinstance(child, _Node):
            # A wider network's record (or nothing) is split into two halves.
            child = _Node([child, child])
            node.children[bit] = child
        node = child
    node.children[bits[length - 1]] = value


def _bits(address, width):
    n = int(address)
    return [(n >> (width - 1 - i)) & 1 for i in range(width)]


def _build_tree(networks, ip_version, alias_ipv4):
    root = _Node()
    width = 32 if ip_version == 4 else 128
    entries = []
    for cidr, record in networks:
        net = ipaddress.ip_network(cidr)
        length = net.prefixlen
        address = int(net.network_address)
        if net.version == 4 and ip_version == 6:
            length += 96
        elif net.version == 6 and ip_version == 4:
            raise ValueError("IPv6 network %s in an IPv4 database" % cidr)
        entries.append((length, address, record))
    # Wider networks first, so that narrower ones split them.
    for length, address, record in sorted(entries, key=lambda e: e[0]):
        _insert(root, _bits(address, width), length, ("data", record))
    if ip_version == 6:
        ipv4 = root
        for _ in range(96):
            if not isinstance(ipv4.children[0], _Node):
                ipv4.children[0] = _Node()
            ipv4 = ipv4.children[0]
        if alias_ipv4:
            for alias, length in (("::ffff:0:0", 96), ("2002::", 16)):
                _insert(root, _bits(ipaddress.ip_address(alias), 128), length, ipv4)
    return root


def _number_nodes(root):
    """Node numbers in breadth-first order; a node reached twice keeps its first number."""
    numbers = {id(root): 0}
    order = [root]
    i = 0
    while i < len(order):
        for child in order[i].children:
            if isinstance(child, _Node) and id(child) not in numbers:
                numbers[id(child)] = len(order)
                order.append(child)
        i += 1
    return numbers, order


def _pack_node(left, right, record_size):
    limit = 1 << record_size
    if not (0 <= left < limit and 0 <= right < limit):
        raise ValueError("record value too large for %d-bit records" % record_size)
    if record_size == 24:
        return left.to_bytes(3, "big") + right.to_bytes(3, "big")
    if record_size == 28:
        middle = ((left >> 24) << 4) | (right >> 24)
        return ((left & 0xFFFFFF).to_bytes(3, "big") + bytes([middle]) +
                (right & 0xFFFFFF).to_bytes(3, "big"))
    if record_size == 32:
        return left.to_bytes(4, "big") + right.to_bytes(4, "big")
    raise ValueError("record size %d" % record_size)


def database(networks, **options):
    """The bytes of a database of networks, (CIDR text, record) pairs."""
    return _database(networks, **options)[0]


def _database(networks, ip_version=6, record_size=24, alias_ipv4=False,
              database_type="Test-Country", description=None, build_epoch=1781725900,
              metadata=None):
    """The bytes of a database and the size of its search tree."""
    root = _build_tree(networks, ip_version, alias_ipv4)
    numbers, order = _number_nodes(root)
    node_count = len(order)
    data = _Encoder()

    def record_value(child):
        if child is None:
            return node_count
        if isinstance(child, _Node):
            return numbers[id(child)]
        return node_count + 16 + data.offset_of(child[1])

    tree = bytearray()
    for node in order:
        tree += _pack_node(record_value(node.children[0]), record_value(node.children[1]),
                           record_size)
    meta = {
        "node_count": Uint32(node_count),
        "record_size": Uint16(record_size),
        "ip_version": Uint16(ip_version),
        "database_type": database_type,
        "languages": ["en"],
        "binary_format_major_version": Uint16(2),
        "binary_format_minor_version": Uint16(0),
        "build_epoch": Uint64(build_epoch),
        "description": description if description is not None else {"en": "A test database"},
    }
    for key, value in (metadata or {}).items():
        if value is None:
            meta.pop(key, None)
        else:
            meta[key] = value
    encoded = _Encoder(share=False)
    encoded.add(meta)
    return (bytes(tree) + b"\0" * 16 + bytes(data.data) + METADATA_MARKER + bytes(encoded.data),
            len(tree))


# --- the sample databases of the tests ---

CODES = ["RU", "DE", "US", "CN", "FR", "GB", "NL", "UA", "KZ", "BY", "JP", "BR", "IN", "XK"]


def _geolite2_record(code, rng):
    """A record as GeoLite2 Country writes it; one in twenty knows only the registered
    country (anonymous proxies, satellite providers), which is no country."""
    country = {"geoname_id": Uint32(rng.randrange(1, 10**7)), "iso_code": code,
               "names": {"en": "Country " + code, "ru": "Страна " + code}}
    record = {"continent": {"code": "EU", "geoname_id": Uint32(6255148),
                            "names": {"en": "Europe", "ru": "Европа"}},
              "registered_country": dict(country)}
    if rng.random() >= 0.05:
        record["country"] = country
    if rng.random() < 0.05:
        record["traits"] = {"is_anycast": True}
    return record


def _random_networks(rng, count, version, record, shortest=8):
    networks = []
    for _ in range(count):
        if version == 4:
            length = rng.randint(shortest, 30)
            address = rng.getrandbits(32)
            net = ipaddress.ip_network((address, length), strict=False)
        else:
            length = rng.randint(20, 64)
            address = (1 << 125) | rng.getrandbits(125)
            net = ipaddress.ip_network((address, length), strict=False)
        networks.append((str(net), record(rng.choice(CODES))))
    return networks


def _samples():
    rng = random.Random(18)
    geolite2 = (_random_networks(rng, 3000, 4, lambda c: _geolite2_record(c, rng)) +
                _random_networks(rng, 400, 6, lambda c: _geolite2_record(c, rng)))
    location = _random_networks(rng, 60, 4, lambda c: {"country_code": c}, shortest=3)
    location6 = (_random_networks(rng, 40, 4, lambda c: {"country_code": c}, shortest=3) +
                 _random_networks(rng, 40, 6, lambda c: {"country_code": c}))
    return {
        # The GeoLite2 layout in an IPv6 tree with aliases, 28-bit records.
        "geolite2.mmdb": dict(networks=geolite2, ip_version=6, record_size=28,
                              alias_ipv4=True, database_type="GeoLite2-Country",
                              description={"de": "Testdaten", "en": "GeoLite2 test data"}),
        # The ip-location-db layout in an IPv4 tree of 24-bit records, and in an IPv6 tree
        # of 32-bit records without aliases.
        "location-ipv4.mmdb": dict(networks=location, ip_version=4, record_size=24,
                                   database_type="country ipv4",
                                   description={"ru": "Проверка"}),
        "location-ipv6-32.mmdb": dict(networks=location6, ip_version=6, record_size=32,
                                      database_type="country ipvAll", description={}),
        # Sound files that hold no usable country.
        "no-country.mmdb": dict(networks=[(n, {"city": "Somewhere", "registered_country":
                                               {"iso_code": "RU"}}) for n, _ in location]),
        "not-maps.mmdb": dict(networks=[(n, r["country_code"]) for n, r in location]),
        # Codes as some databases hold them: a legacy special code, none, three letters,
        # a number.
        "odd-codes.mmdb": dict(networks=[("10.0.0.0/8", {"country_code": "A1"}),
                                         ("11.0.0.0/8", {"country_code": ""}),
                                         ("12.0.0.0/8", {"country_code": "RUS"}),
                                         ("13.0.0.0/8", {"country_code": Uint32(643)})],
                               ip_version=4),
        # Two builds of one database: the newer answers where both are found.
        "older.mmdb": dict(networks=[("0.0.0.0/0", {"country_code": "OL"})], ip_version=4,
                           build_epoch=1600000000),
        "newer.mmdb": dict(networks=[("0.0.0.0/0", {"country_code": "NW"})], ip_version=4,
                           build_epoch=1700000000),
        # Network owners in the GeoLite2-ASN layout, with what owner data holds at its worst:
        # a number without an organisation and the reverse, control characters, a name of
        # 10,000 bytes, a number written in another type, an organisation that is no text.
        "owners.mmdb": dict(networks=_random_networks(rng, 2000, 4, lambda c: {
            "autonomous_system_number": Uint32(rng.randrange(1, 1 << 32)),
            "autonomous_system_organization": "Org " + c}, shortest=10) + _random_networks(
            rng, 300, 6, lambda c: {"autonomous_system_number": Uint32(rng.randrange(1, 400000)),
                                    "autonomous_system_organization": "Org6 " + c}) + [
            ("10.0.0.0/8", {"autonomous_system_number": Uint32(64500),
                            "autonomous_system_organization": "Десять сетей"}),
            ("11.0.0.0/16", {"autonomous_system_number": Uint32(64501)}),
            ("11.1.0.0/16", {"autonomous_system_organization": "Only Name"}),
            ("11.2.0.0/16", {"autonomous_system_number": Uint32(64502),
                             "autonomous_system_organization": "Evil\x1b[31m\tCorp\n"}),
            ("12.0.0.0/8", {"autonomous_system_number": Uint32(64503),
                            "autonomous_system_organization": "L" * 10000}),
            ("13.0.0.0/8", {"autonomous_system_number": Uint16(64504),
                            "autonomous_system_organization": Uint32(7)}),
            ("2001:db8::/32", {"autonomous_system_number": Uint32(64505),
                               "autonomous_system_organization": "Doc Net"})],
            ip_version=6, record_size=28, alias_ipv4=True, database_type="GeoLite2-ASN"),
        # One file holding both a country and an owner, newer than the others.
        "both.mmdb": dict(networks=[("0.0.0.0/0", {"country_code": "NW",
                                                   "autonomous_system_number": Uint32(64510),
                                                   "autonomous_system_organization": "Both"})],
                          ip_version=4, build_epoch=1800000000),
        # libmaxminddb refuses these itself.
        "record-size-30.mmdb": dict(networks=location, metadata={"record_size": Uint16(30)}),
    }


def _fuzz_seeds():
    """Seeds of tests/fuzz/mmdb_fuzz.cpp: the addresses to look up, then a small database."""
    def seed(addresses, data):
        prefix = bytes([len(addresses) - 1])
        for a in addresses:
            ip = ipaddress.ip_address(a)
            prefix += (ip.packed if ip.version == 6 else b"\0" * 12 + ip.packed)
        return prefix + data

    location = [("10.0.0.0/8", {"country_code": "RU"}), ("10.1.0.0/16", {"country_code": "DE"}),
                ("192.168.1.0/24", {"country_code": "XK"}), ("1.2.3.4/32", {"country_code": "US"})]
    geolite2 = [("77.88.0.0/18", {"country": {"iso_code": "RU", "names": {"en": "Russia"}}}),
                ("8.8.8.0/24", {"registered_country": {"iso_code": "US"}}),
                ("2a02:6b8::/32", {"country": {"iso_code": "RU"}, "continent": {"code": "EU"}})]
    ipv4, tree_end = _database(location, ip_version=4)
    shared = bytearray(ipv4)
    shared[0:6] = bytes([0, 0, 1, 0, 0, 1])  # both sides of the root lead to node 1
    return {
        "location_ipv4": seed(["10.1.2.3", "10.2.0.1", "192.168.1.77", "1.2.3.4", "1.2.3.5"],
                              ipv4),
        "geolite2_aliases": seed(["77.88.8.8", "::ffff:77.88.8.8", "2002:4d58:808::",
                                  "8.8.8.8", "2a02:6b8::1"],
                                 database(geolite2, record_size=28, alias_ipv4=True)),
        "location_ipv6_32": seed(["::10.1.0.1", "10.1.0.1", "::ffff:10.1.0.1"],
                                 database(location, record_size=32)),
        "truncated": seed(["10.1.2.3"], ipv4[:len(ipv4) // 2]),
        "zero_tree": seed(["10.1.2.3"], b"\0" * tree_end + ipv4[tree_end:]),
        "shared_root": seed(["10.1.2.3", "200.0.0.1"], bytes(shared)),
        "not_maps": seed(["10.1.2.3"], database([(n, r["country_code"]) for n, r in location])),
        "owners": seed(["8.8.8.8", "::ffff:8.8.8.8", "2002:808:808::", "2001:4860::1", "9.9.9.9"],
                       database([("8.8.8.0/24", {"autonomous_system_number": Uint32(15169),
                                                 "autonomous_system_organization": "Google LLC"}),
                                 ("9.0.0.0/8", {"autonomous_system_number": Uint16(3356)}),
                                 ("2001:4860::/32", {"autonomous_system_organization": "\x1b\t"})],
                                record_size=28, alias_ipv4=True)),
    }


def main():
    commands = {"samples": _samples, "fuzz-seeds": _fuzz_seeds}
    if len(sys.argv) != 3 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    os.makedirs(sys.argv[2], exist_ok=True)
    for name, made in commands[sys.argv[1]]().items():
        with open(os.path.join(sys.argv[2], name), "wb") as f:
            f.write(made if isinstance(made, bytes) else database(**made))


if __name__ == "__main__":
    main()
