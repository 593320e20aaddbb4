// How the core tells what went wrong: one carrier for every reason. An operation that can
// fail returns a Status (nothing else to give) or a Result<T> (a value or the Problem).
// The core never shapes a Problem for a screen: its lines are plain text without line ends,
// and each front end joins them its own way (the window with CR LF in a message box, the
// command-line tool on one line of standard error, the browsers' host in its JSON answer).
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace netsorter {

struct Problem {
    // What the user is to do with it: read it (a warning or a failure) or answer it.
    enum class Kind { Warning, Question, Failure };
    // What it is about, so that a front end can word and title it.
    enum class Subject {
        None,
        Nets,             // nets.txt
        Countries,        // countries.txt
        CountryDatabase,  // the country database
        OwnerDatabase,    // the network owner database
        Resolver,         // the system's name resolution
        Input,            // what the user gave: an option, standard input
        Output,           // where the results go
        Update,           // a download of a database
        System,           // anything else the system refused
    };

    Kind kind = Kind::Failure;
    Subject subject = Subject::None;
    // The file or thing it is about, when there is one (a path, a URL).
    std::string object;
    std::vector<std::string> lines;

    static Problem failure(Subject subject, std::string object, std::string line) {
        return {Kind::Failure, subject, std::move(object), {std::move(line)}};
    }
    // The lines as one, joined by sep; for front ends only.
    std::string joined(const char* sep) const {
        std::string out;
        for (const std::string& line : lines) {
            out += (out.empty() ? "" : sep) + line;
        }
        return out;
    }
};

// The outcome of an operation that gives nothing but can fail for a reason the user should
// read.
class Status {
  public:
    static Status success() { return Status(); }
    static Status failure(Problem problem) { return Status(std::move(problem)); }
    // A failure about nothing in particular, told in one line.
    static Status failure(std::string reason) {
        return Status(Problem::failure(Problem::Subject::None, {}, std::move(reason)));
    }
    Status(Problem problem) : problem_(std::move(problem)), ok_(false) {}  // NOLINT: implicit

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const Problem& problem() const { return problem_; }
    // The first line of the reason: for one-line reasons and for tests.
    const std::string& reason() const {
        static const std::string none;
        return problem_.lines.empty() ? none : problem_.lines.front();
    }

  private:
    Status() = default;
    Problem problem_;
    bool ok_ = true;
};

// A value, or the Problem why there is none.
template <class T>
class Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}            // NOLINT
    Result(Problem problem) : state_(std::in_place_index<1>, std::move(problem)) {}  // NOLINT
    Result(const Status& status) : Result(status.problem()) {}                       // NOLINT

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Problem& problem() const { return std::get<1>(state_); }
    Status status() const { return ok() ? Status::success() : Status::failure(problem()); }
    const std::string& reason() const { return status_reason(); }

  private:
    std::variant<T, Problem> state_;

    const std::string& status_reason() const {
        static const std::string none;
        return ok() || problem().lines.empty() ? none : problem().lines.front();
    }
};

}  // namespace netsorter
