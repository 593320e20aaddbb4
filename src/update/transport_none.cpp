#include "update/transport.h"

namespace netsorter::update {
namespace {

// A build without a network library: every fetch fails, and says why.
class NoTransport final : public Transport {
  public:
    Fetched get(const std::string&, const FetchLimits&,
                const std::function<Status(std::string_view)>&) override {
        return {false, false, "this build cannot download"};
    }
};

}  // namespace

std::unique_ptr<Transport> systemTransport() {
    return std::make_unique<NoTransport>();
}

}  // namespace netsorter::update
