// The main window as the check pipeline sees it, and a resolver that answers from tables:
// every call the pipeline makes is logged in order.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "check/check.h"
#include "fake_ui.h"
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

    std::vector<std::string> getIpsByName(const std::string& host) override {
        log_.push_back("getIpsByName(" + host + ")");
        const auto found = ips.find(host);
        return found == ips.end() ? std::vector<std::string>{} : found->second;
    }
    std::string getNameByIp(const std::string& ip) override {
        log_.push_back("getNameByIp(" + ip + ")");
        const auto found = names.find(ip);
        return found == names.end() ? std::string() : found->second;
    }

  private:
    Log& log_;
};

constexpr const char* kBoxNames[] = {"txtDomain", "txtIP", "txtTraffic", "txtCountry"};

class FakeHost final : public CheckHost {
  public:
    FakeHost() : geo_(ui_, dir_.str()), resolver_(log) {
        nets_.add_nets(
            "# Частные сети\n10.0.0.0/8\n"
            "# Верхние\n200.0.0.0/8\n");
    }

    Log log;
    std::string address;
    std::array<std::string, 4> boxes;
    bool hidden = false;
    bool onTop = false;
    std::function<void()> onDoEvents;  // runs inside the pipeline's one yield

    FakeResolver& fakeResolver() { return resolver_; }

    // Loads a country table whose index 1 (addresses from 128.0.0.0 up) has this
    // description and whose index 2 (the addresses below) has "Низ".
    bool loadCountries(const std::string& upperDescription) {
        dir_.write("GeoIP.dat", kTinyDatabase);
        dir_.write("countries.txt", "1\t" + upperDescription + "\r\n2\tНиз\r\n");
        return geo_.openDataFile("GeoIP.dat") && geo_.openCountriesFile("countries.txt");
    }

    std::string box(ResultBox b) const { return boxes[static_cast<size_t>(b)]; }

    std::string addressText() override { return address; }
    void setAddressText(const std::string& text) override {
        log.push_back("setAddressText(" + text + ")");
        address = text;
    }
    std::string resultText(ResultBox b) override { return box(b); }
    void setResultText(ResultBox b, const std::string& text) override {
        log.push_back(std::string(kBoxNames[static_cast<size_t>(b)]) + "=" + text);
        boxes[static_cast<size_t>(b)] = text;
    }
    bool stayHidden() override { return hidden; }
    void setStayHidden(bool on) override {
        log.push_back(on ? "setStayHidden(true)" : "setStayHidden(false)");
        hidden = on;
    }
    bool alwaysOnTop() override { return onTop; }
    void sendToTray() override { log.push_back("sendToTray"); }
    void doEvents() override {
        log.push_back("doEvents");
        if (onDoEvents) {
            auto nested = std::move(onDoEvents);
            onDoEvents = nullptr;
            nested();
        }
    }
    void loadingStep() override { log.push_back("loadingStep"); }
    void showTrayBalloon(const std::string& text, const std::string& title) override {
        log.push_back("balloon(" + text + "|" + title + ")");
    }
    void restartTimer1() override { log.push_back("timer1"); }
    clsNetChecker& netChecker() override { return nets_; }
    clsGeo& geo() override { return geo_; }
    NameResolver& resolver() override { return resolver_; }

  private:
    TempDir dir_;
    FakeUi ui_;
    clsNetChecker nets_;
    clsGeo geo_;
    FakeResolver resolver_;
};

}  // namespace netsorter::testing
