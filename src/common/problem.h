// How the core tells what went wrong. Expected failures are answers (a status with its
// reason, a placeholder text); something the user must hear of at once is a Problem. The
// front end decides how either is shown: the window in a message box, the command-line
// tool on standard error.
#pragma once

#include <string>
#include <utility>

namespace netsorter {

struct Problem {
    std::string title;  // what it concerns, as a message box would be titled
    std::string text;
};

// The outcome of an operation that can fail for a reason the user should read.
class Status {
  public:
    static Status success() { return Status(); }
    static Status failure(std::string reason) { return Status(std::move(reason)); }

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const std::string& reason() const { return reason_; }

  private:
    Status() = default;
    explicit Status(std::string reason) : ok_(false), reason_(std::move(reason)) {}
    bool ok_ = true;
    std::string reason_;
};

}  // namespace netsorter
