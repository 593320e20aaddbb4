#include "cli/batch.h"

#include <algorithm>
#include <utility>

#include "cli/console.h"
#include "common/text.h"

namespace netsorter::cli {

// Workers and blocks each on cache lines of their own: one thread's writes per line must
// not slow another's reads.
struct alignas(64) Batch::Worker {
    Worker(Engines& engines, CheckOptions check, std::mutex* slowPath, const Settings& settings)
        : checker(engines, std::move(check), slowPath),
          rows(settings.format, settings.withAddress),
          settings(settings) {}

    BatchChecker checker;
    PlainRows rows;
    // Its own copy: what the reading thread writes per line must share no cache line with
    // what the workers read per line.
    Settings settings;
    CheckResult result;
    std::string address;  // format takes the address as a string: kept, not made per line
    PlainAnswer answer;
    Summary summary;
    Block* block = nullptr;  // being checked, for the problems its checks find
    std::vector<std::optional<std::uint32_t>> plain;  // the block's plain IPv4 addresses
};

void Batch::Block::clear() {
    addresses.clear();
    ends.clear();
    lines.clear();
    warnings.clear();
    out.clear();
    told.clear();
    failure = nullptr;
    done = false;
}

Batch::Batch(Engines& engines, const CheckOptions& check, Settings settings)
    : engines_(engines), check_(check), settings_(settings) {
    // The checkers are made here, on the loading thread, before any of them is shared. What
    // their checks report is told when their results are written.
    const unsigned jobs = std::max(1u, settings_.jobs);
    for (unsigned i = 0; i < jobs; ++i) {
        CheckOptions own = check_;
        own.onProblem = [this, i](const Problem& problem) {
            Block& block = *workers_[i]->block;
            block.told.push_back({block.out.size(), {}, problem});
        };
        workers_.push_back(std::make_unique<Worker>(engines_, std::move(own),
                                                    jobs > 1 ? &slowPath_ : nullptr, settings_));
    }
    // This thread reads and checks too, with the last worker: one job checks the blocks
    // here as they fill, N jobs start N - 1 threads.
    for (unsigned i = 0; i + 1 < jobs; ++i) {
        threads_.emplace_back([this, w = workers_[i].get()] { work(*w); });
    }
}

Batch::~Batch() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void Batch::checkOne(Worker& worker, std::string_view address, std::optional<std::uint32_t> plain,
                     std::size_t line, std::uint64_t index, std::string& out) {
    const std::optional<std::size_t> lineShown =
        line == 0 ? std::nullopt : std::optional<std::size_t>(line);
    const Settings& settings = worker.settings;
    if (plain && !settings.summary && worker.checker.answerPlain(*plain, worker.answer)) {
        worker.rows.append(out, trimWhitespace(address), worker.answer, lineShown, index == 0);
        return;
    }
    worker.checker.check(address, worker.result);
    if (settings.summary) {
        worker.summary.add(worker.result);
        return;
    }
    if (settings.format == Format::Text && index > 0) {
        out += '\n';
    }
    // The address as checked: a copied line's line end and blanks are no part of it.
    const std::string_view shown = trimWhitespace(address);
    worker.address.assign(shown);
    format(out, settings.format, worker.address, worker.result, settings.withAddress, lineShown);
}

void Batch::add(std::string_view address, std::optional<std::size_t> line,
                std::string_view warning) {
    const std::uint64_t index = added_++;
    if (!filling_) {
        std::unique_lock lock(mutex_);
        if (spare_.empty()) {
            lock.unlock();
            filling_ = std::make_unique<Block>();
        } else {
            filling_ = std::move(spare_.back());
            spare_.pop_back();
        }
        filling_->first = index;
    }
    Block& block = *filling_;
    if (!warning.empty()) {
        block.warnings.emplace_back(block.size(), std::string(warning));
    }
    block.addresses += address;
    block.ends.push_back(block.addresses.size());
    block.lines.push_back(line.value_or(0));
    if (block.size() == kBlockItems || block.addresses.size() >= kBlockBytes) {
        submit();
    }
}

void Batch::submit() {
    if (!filling_) {
        return;
    }
    if (threads_.empty()) {
        checkBlock(*workers_.front(), *filling_);
        write(*filling_);
        filling_->clear();
        spare_.push_back(std::move(filling_));
        return;
    }
    std::unique_lock lock(mutex_);
    waiting_.push_back(filling_.get());
    inFlight_.push_back(std::move(filling_));
    work_.notify_one();
    // More waiting than the other threads take up: this one checks the oldest itself.
    while (!failure_ && waiting_.size() > threads_.size()) {
        checkWaiting(*workers_.back(), lock);
    }
    // Enough ahead to keep every thread busy; more would only hold memory.
    done_.wait(lock, [this] { return failure_ || inFlight_.size() < 4 * workers_.size(); });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void Batch::drain() {
    submit();
    std::unique_lock lock(mutex_);
    while (!failure_ && !waiting_.empty()) {
        checkWaiting(*workers_.back(), lock);
    }
    done_.wait(lock, [this] { return failure_ || (inFlight_.empty() && !writing_); });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

// The thread that finishes the block next in order writes it, and those after it that are
// done: the results leave from the core that made them, and the reading thread only reads.
void Batch::writeInOrder(std::unique_lock<std::mutex>& lock) {
    if (writing_) {
        return;
    }
    writing_ = true;
    while (!failure_ && !inFlight_.empty() && inFlight_.front()->done) {
        std::unique_ptr<Block> block = std::move(inFlight_.front());
        inFlight_.pop_front();
        lock.unlock();
        std::exception_ptr failure;
        try {
            write(*block);
        } catch (...) {
            failure = std::current_exception();
        }
        block->clear();
        lock.lock();
        failure_ = failure_ ? failure_ : failure;
        spare_.push_back(std::move(block));
        done_.notify_all();
    }
    writing_ = false;
    done_.notify_all();
}

void Batch::write(Block& block) {
    if (block.failure) {
        std::rethrow_exception(block.failure);
    }
    const std::string_view out = block.out;
    std::size_t from = 0;
    for (const Block::Told& told : block.told) {
        console::writeOut(out.substr(from, told.at - from));
        from = told.at;
        if (told.problem) {
            if (check_.onProblem) {
                check_.onProblem(*told.problem);
            }
        } else {
            console::tell(told.warning);
        }
    }
    console::writeOut(out.substr(from));
}

void Batch::checkBlock(Worker& worker, Block& block) {
    worker.block = &block;
    // The plain addresses' tables are asked for a few addresses ahead of their checks: the
    // reads of several lookups then wait for memory together.
    constexpr std::size_t kBucketsAhead = 16;
    constexpr std::size_t kEntriesAhead = 8;
    std::vector<std::optional<std::uint32_t>>& plain = worker.plain;
    plain.resize(block.size());
    for (std::size_t i = 0; i < block.size(); ++i) {
        plain[i] = plainIpv4(trimWhitespace(block.address(i)));
    }
    const auto prefetch = [&](std::size_t i, PrefetchStep step) {
        if (i < plain.size() && plain[i]) {
            worker.checker.prefetch(*plain[i], step);
        }
    };
    for (std::size_t i = 0; i < kEntriesAhead; ++i) {
        prefetch(i, PrefetchStep::Bucket);
    }
    for (std::size_t i = 0; i < kBucketsAhead - kEntriesAhead; ++i) {
        prefetch(i + kEntriesAhead, PrefetchStep::Bucket);
        prefetch(i, PrefetchStep::Entries);
    }
    auto warning = block.warnings.begin();
    for (std::size_t i = 0; i < block.size(); ++i) {
        prefetch(i + kBucketsAhead, PrefetchStep::Bucket);
        prefetch(i + kEntriesAhead, PrefetchStep::Entries);
        for (; warning != block.warnings.end() && warning->first == i; ++warning) {
            block.told.push_back({block.out.size(), std::move(warning->second), std::nullopt});
        }
        checkOne(worker, block.address(i), plain[i], block.lines[i], block.first + i, block.out);
    }
}

void Batch::checkWaiting(Worker& worker, std::unique_lock<std::mutex>& lock) {
    Block* block = waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    try {
        checkBlock(worker, *block);
    } catch (...) {
        block->failure = std::current_exception();
    }
    lock.lock();
    block->done = true;
    writeInOrder(lock);
}

void Batch::work(Worker& worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            return;
        }
        checkWaiting(worker, lock);
    }
}

Summary Batch::summary() {
    drain();
    Summary total;
    for (const std::unique_ptr<Worker>& worker : workers_) {
        total.merge(worker->summary);
    }
    return total;
}

}  // namespace netsorter::cli
