#!/usr/bin/env python3
"""Writes data/countries.txt, the descriptions of the countries the databases name.

One line per index 1..N-1 that libGeoIP knows (index 0, "--", is never looked up):
index, code, three-letter code, Russian name and continent code, separated by tabs.
The index order and the codes come from the library's own id functions, so the numbers
match GeoIP.dat; the Russian names come from Debian's iso-codes and its ru translation.
Then one line for each code that current (MaxMind DB) databases use and the legacy index
lacks: every other ISO 3166-1 code of iso-codes, and the codes in EXTRA_CODES. Their key
is the code itself, which no legacy index (a number) can be; such databases find a
country by the description's first field.

Needs the Debian packages python3, libgeoip1 (or libgeoip-dev) and iso-codes.
Usage: tools/gen_countries.py [--output FILE]
"""

import argparse
import ctypes
import ctypes.util
import gettext
import json
import re
import sys
from pathlib import Path

ISO_JSON = Path("/usr/share/iso-codes/json/iso_3166-1.json")
ISO_RU_MO = Path("/usr/share/locale/ru/LC_MESSAGES/iso_3166-1.mo")
ISO_PC = Path("/usr/share/pkgconfig/iso-codes.pc")
TOOL = "tools/gen_countries.py"

# GeoIP's own pseudo-countries and codes withdrawn from ISO 3166-1 that older library
# releases still return; iso-codes has no current entry for them.
SPECIAL_NAMES = {
    "AP": "Азиатско-Тихоокеанский регион",
    "EU": "Европа",
    "A1": "Анонимный прокси",
    "A2": "Спутниковый провайдер",
    "O1": "Другая страна",
    "AN": "Нидерландские Антильские острова",
    "XK": "Косово",
    "CS": "Сербия и Черногория",
    "FX": "Франция (европейская часть)",
    "TP": "Восточный Тимор",
    "YU": "Югославия",
    "ZR": "Заир",
}

# Short everyday names where iso-codes offers only the long official form, or no Russian
# text at all (its "Türkiye", "Laos" and "Syria" are untranslated).
SHORT_NAMES = {
    "RU": "Россия",
    "US": "США",
    "GB": "Великобритания",
    "LA": "Лаос",
    "SY": "Сирия",
    "TR": "Турция",
    "VA": "Ватикан",
}

# Lookups only ever ask for the leaf values 1..255 of the database.
MAX_INDEX = 255

# Codes outside ISO 3166-1 that current databases still give: Kosovo's user-assigned code,
# which the regional registries use, and the withdrawn Netherlands Antilles. Three-letter
# code and continent for each; the names are in SPECIAL_NAMES.
EXTRA_CODES = {
    "XK": ("XKX", "EU"),
    "AN": ("ANT", "NA"),
}


def load_geoip():
    name = ctypes.util.find_library("GeoIP") or "libGeoIP.so.1"
    lib = ctypes.CDLL(name)
    for fn in ("GeoIP_code_by_id", "GeoIP_code3_by_id", "GeoIP_continent_by_id"):
        getattr(lib, fn).restype = ctypes.c_char_p
        getattr(lib, fn).argtypes = [ctypes.c_int]
    lib.GeoIP_num_countries.restype = ctypes.c_uint
    lib.GeoIP_num_countries.argtypes = []
    lib.GeoIP_lib_version.restype = ctypes.c_char_p
    lib.GeoIP_lib_version.argtypes = []
    return lib


def iso_codes_version():
    try:
        m = re.search(r"^Version:\s*(\S+)", ISO_PC.read_text(encoding="utf-8"), re.M)
        return m.group(1) if m else None
    except OSError:
        return None


def russian_names():
    """alpha-2 code -> Russian name: the translated common name, else the translated name."""
    with ISO_RU_MO.open("rb") as f:
        ru = gettext.GNUTranslations(f)
    entries = json.loads(ISO_JSON.read_text(encoding="utf-8"))["3166-1"]
    names = {}
    for e in entries:
        for field in ("common_name", "name"):
            english = e.get(field)
            # gettext hands an untranslated text back unchanged.
            if english and ru.gettext(english) != english:
                names[e["alpha_2"]] = ru.gettext(english)
                break
    return names


def text(raw):
    return raw.decode("ascii") if raw else ""


def build_lines(lib):
    iso_ru = russian_names()
    count = min(lib.GeoIP_num_countries(), MAX_INDEX + 1)
    lines, unnamed = [], []
    for index in range(1, count):
        code = text(lib.GeoIP_code_by_id(index))
        code3 = text(lib.GeoIP_code3_by_id(index))
        continent = text(lib.GeoIP_continent_by_id(index))
        name = SPECIAL_NAMES.get(code) or SHORT_NAMES.get(code) or iso_ru.get(code)
        if not name:
            unnamed.append(f"{index} {code}")
            continue
        fields = (str(index), code, code3, name, continent)
        if any(not f or re.search(r"[\t\r\n]", f) for f in fields):
            sys.exit(f"{TOOL}: unusable field in index {index}: {fields!r}")
        lines.append("\t".join(fields))
    if unnamed:
        sys.exit(f"{TOOL}: no Russian name for: {', '.join(unnamed)}; add them to SPECIAL_NAMES")
    return lines


def continent_of(code, lines):
    """The continent iso-codes cannot give: that of the legacy line, where there is one."""
    for line in lines:
        fields = line.split("\t")
        if fields[1] == code:
            return fields[4]
    return None


def extra_lines(legacy_lines):
    """Lines for the codes of current databases that the legacy index lacks."""
    known = {line.split("\t")[1] for line in legacy_lines}
    iso_ru = russian_names()
    entries = json.loads(ISO_JSON.read_text(encoding="utf-8"))["3166-1"]
    extra = {}
    for e in entries:
        code = e["alpha_2"]
        if code not in known:
            extra[code] = (e["alpha_3"], continent_of(code, legacy_lines) or "--")
    for code, (code3, continent) in EXTRA_CODES.items():
        if code not in known:
            extra[code] = (code3, continent)
    lines = []
    for code in sorted(extra):
        code3, continent = extra[code]
        name = SPECIAL_NAMES.get(code) or SHORT_NAMES.get(code) or iso_ru.get(code)
        if not name:
            sys.exit(f"{TOOL}: no Russian name for {code}; add it to SPECIAL_NAMES")
        lines.append("\t".join((code, code, code3, name, continent)))
    return lines


def main():
    repo = Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description="Writes the GeoIP country index table.")
    parser.add_argument("--output", type=Path, default=repo / "data" / "countries.txt")
    args = parser.parse_args()

    lib = load_geoip()
    legacy = build_lines(lib)
    extra = extra_lines(legacy)
    lines = legacy + extra
    iso_version = iso_codes_version()
    header = [
        f"# GeoIP Legacy country indexes of GeoIP.dat, written by {TOOL} (do not edit by hand).",
        f"# Index order, codes and continents: libGeoIP {text(lib.GeoIP_lib_version())} "
        "(GeoIP_num_countries, GeoIP_code_by_id, GeoIP_code3_by_id, GeoIP_continent_by_id).",
        "# Russian names: Debian iso-codes"
        + (f" {iso_version}" if iso_version else "")
        + " (iso_3166-1.json with ru/iso_3166-1.mo).",
        "# index<TAB>code<TAB>code3<TAB>name<TAB>continent; then, keyed by the code itself,",
        "# codes of current databases that the legacy index lacks: "
        + ", ".join(line.split("\t")[0] for line in extra) + ".",
    ]
    with args.output.open("w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(header + lines) + "\n")
    print(f"{args.output}: {len(legacy)} indexes and {len(extra)} further codes")


if __name__ == "__main__":
    main()
