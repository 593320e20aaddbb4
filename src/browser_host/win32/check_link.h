// The one call the host makes: checkLink(address) of the automation class
// "Netsorter.qvClicker", which the running program serves (COM starts it when it is not
// running), exactly as Internet Explorer's menu script does.
#pragma once

#include <string>

namespace netsorter::browser_host {

// Holds COM for the calling thread while it lives.
class ComApartment {
  public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool initialized_;
};

// The answer for the browser: {"ok":true} when the program took the address, else an error
// answer saying why not.
std::string checkLink(const std::string& address);

}  // namespace netsorter::browser_host
