// A country database as the check sees it: it answers an address with a country, named by
// an index into the names table of countries.txt (GeoIP.dat's way) or by its code, with
// nothing, or with the news that it is damaged. A new database format is one more
// implementation of this interface, in this folder, and one more case in the loader.
#pragma once

#include <cstdint>
#include <string>

#include "common/prefetch.h"
#include "common/yield.h"
#include "nets/ip_address.h"

namespace netsorter {

struct CountryAnswer {
    enum Kind { Country, None, Damaged };
    Kind kind = None;
    std::uint32_t index = 0;  // the names table's index (1..255), when the source gives one
    std::string code;         // the country code, when the source gives one
    std::string message;      // Damaged: what the user is told
};

class CountrySource {
  public:
    virtual ~CountrySource() = default;

    // False once the source has found itself damaged: it answers nothing from then on.
    virtual bool usable() const = 0;

    // Whether answers are indexes into the names table: without the table loaded such a
    // source is not asked at all.
    virtual bool answersByIndex() const = 0;

    // The country of an address; an IPv4 address written in IPv6 (::ffff:a.b.c.d) comes
    // as the IPv4 address. A source may give the caller's events their turns while it
    // works; whatever runs then, the answer stays this source's own.
    virtual CountryAnswer countryOf(const IpAddress& address, const Yield& yield) = 0;

    // Whether every answer is settled at opening. A source read address by address may find
    // itself damaged at any lookup and answer nothing after it, so the order of its lookups
    // matters.
    virtual bool settled() const { return false; }

    // For a caller that keeps the answers it has seen: a number that stands for the answer
    // countryOf gives the address (equal numbers, equal answers), found without changing
    // anything, so that any thread may ask. 0 where the source cannot tell without reading
    // its file.
    virtual std::uint32_t answerKey(const IpAddress& /*address*/) const { return 0; }
    // Readies the memory answerKey of the IPv4 address will read, where it helps.
    virtual void prefetch(std::uint32_t /*ipv4*/, PrefetchStep /*step*/) const {}
};

}  // namespace netsorter
