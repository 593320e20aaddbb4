// The addresses of one run, checked on several threads and written in their order: byte for
// byte what one thread writes, standard error's messages included, each where it would be.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "check/batch_check.h"
#include "cli/output.h"
#include "cli/summary.h"

namespace netsorter::cli {

class Batch {
  public:
    struct Settings {
        Format format = Format::Text;
        bool withAddress = false;  // as format takes it
        bool summary = false;      // counts instead of rows
        unsigned jobs = 1;
    };
    // The engines must be loaded and stay so while the batch lives; check's onProblem is
    // called on this thread, in order.
    Batch(Engines& engines, const CheckOptions& check, Settings settings);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Checks an address, found in input line line when given; warning, when not empty, is
    // told before its results, as if when it was read.
    void add(std::string_view address, std::optional<std::size_t> line = std::nullopt,
             std::string_view warning = {});
    // Writes the results of everything added (console::writeOut; not flushed).
    void drain();
    // The counts of everything added and drained, when counting.
    Summary summary();

  private:
    // Up to this many addresses are checked as one piece by one thread; a piece is handed
    // on earlier whenever the input would wait.
    static constexpr std::size_t kBlockItems = 4096;
    // And no more text than this, however long the lines: the memory stays small.
    static constexpr std::size_t kBlockBytes = 256 << 10;

    struct alignas(64) Block {
        std::uint64_t first = 0;  // the number of the first item in the run
        std::string addresses;
        std::vector<std::size_t> ends;   // of each address in addresses
        std::vector<std::size_t> lines;  // 0: none
        // Told before an item's results: its index and the message.
        std::vector<std::pair<std::size_t, std::string>> warnings;
        // Made by the worker: the results, and each message with where in out it goes.
        struct Told {
            std::size_t at;
            std::string warning;             // told as it is, or
            std::optional<Problem> problem;  // handed to onProblem
        };
        std::string out;
        std::vector<Told> told;
        std::exception_ptr failure;
        bool done = false;

        std::size_t size() const { return ends.size(); }
        std::string_view address(std::size_t i) const {
            const std::size_t start = i == 0 ? 0 : ends[i - 1];
            return std::string_view(addresses).substr(start, ends[i] - start);
        }
        void clear();
    };
    struct Worker;

    void checkBlock(Worker& worker, Block& block);
    void checkOne(Worker& worker, std::string_view address, std::optional<std::uint32_t> plain,
                  std::size_t line, std::uint64_t index, std::string& out);
    void submit();
    void checkWaiting(Worker& worker, std::unique_lock<std::mutex>& lock);
    void writeInOrder(std::unique_lock<std::mutex>& lock);
    void write(Block& block);
    void work(Worker& worker);

    Engines& engines_;
    CheckOptions check_;
    Settings settings_;
    // One thread: the worker of this thread, checked as added.
    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<std::thread> threads_;
    std::mutex slowPath_;  // BatchChecker's: names, legacy files

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    bool stopping_ = false;
    bool writing_ = false;                         // a thread writes the blocks done, in order
    std::exception_ptr failure_;                   // of a write: the run ends
    std::deque<Block*> waiting_;                   // for a worker
    std::deque<std::unique_ptr<Block>> inFlight_;  // in the input's order, to be written
    std::vector<std::unique_ptr<Block>> spare_;
    // The reading thread's alone, on a cache line of their own.
    alignas(64) std::unique_ptr<Block> filling_;
    std::uint64_t added_ = 0;
};

}  // namespace netsorter::cli
