// The engines of a check with the tests' own small data, and a resolver that answers from
// tables and logs every question in order.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "check/engines.h"
#include "temp_dir.h"

namespace netsorter::testing {

using Log = std::vector<std::string>;

// One node: addresses below 128.0.0.0 have country index 2, all others index 1.
inline const std::string kTinyDatabase("\x02\xFF\xFF\x01\xFF\xFF", 6);

class FakeResolver final : public NameResolver {
  public:
    explicit FakeResolver(Log& log) : log_(log) {}
    std::map<std::string, std::vector<std::string>> ips;
    std::map<std::string, std::string> names;
    // Runs as each question comes, and can see what the front end shows meanwhile.
    std::function<void()> onAsk;

    // The answers are address texts; one that is none is not an address of the name.
    HostAddresses getIpsByName(const std::string& host, const Yield& yield) override {
        asked("getIpsByName(" + host + ")");
        HostAddresses answer;
        if (const auto found = ips.find(host); found != ips.end()) {
            for (const std::string& text : found->second) {
                if (IpAddress ip; parseIp(text, ip)) {
                    answer.ips.push_back(ip);
                }
                yieldOnce(yield);
            }
        }
        return answer;
    }
    HostName getNameByIp(const IpAddress& ip) override {
        asked("getNameByIp(" + formatIp(ip) + ")");
        const auto found = names.find(formatIp(ip));
        return {found == names.end() ? std::string() : found->second, std::nullopt};
    }

  private:
    Log& log_;

    void asked(std::string question) {
        log_.push_back(std::move(question));
        if (onAsk) {
            onAsk();
        }
    }
};

// Two subnets: 10.0.0.0/8 "Частные сети" and 200.0.0.0/8 "Верхние"; no countries until
// loadCountries.
class TestEngines {
  public:
    TestEngines() : engines(dir.str(), std::make_unique<FakeResolver>(log)) {
        engines.nets().add_nets(
            "# Частные сети\n10.0.0.0/8\n"
            "# Верхние\n200.0.0.0/8\n");
    }

    Log log;  // the resolver's questions
    TempDir dir;
    Engines engines;

    FakeResolver& resolver() { return static_cast<FakeResolver&>(engines.resolver()); }

    // A country table whose index 1 (addresses from 128.0.0.0 up) has this description and
    // whose index 2 (the addresses below) has "Низ", over kTinyDatabase.
    bool loadCountries(const std::string& upperDescription) {
        dir.write("GeoIP.dat", kTinyDatabase);
        dir.write("countries.txt", "1\t" + upperDescription + "\r\n2\tНиз\r\n");
        return engines.geo().openDataFile(dir.file("GeoIP.dat")).ok() &&
               engines.geo().openCountriesFile(dir.file("countries.txt")).ok();
    }
};

}  // namespace netsorter::testing
