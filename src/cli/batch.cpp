#include "cli/batch.h"

#include <algorithm>
#include <utility>

#include "cli/console.h"
#include "common/text.h"

namespace netsorter::cli {

struct Batch::Worker {
    Worker(Engines& engines, CheckOptions check, std::mutex* slowPath, const Settings& settings)
        : checker(engines, std::move(check), slowPath),
          rows(settings.format, settings.withAddress) {}

    BatchChecker checker;
    PlainRows rows;
    CheckResult result;
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
    // One job: the blocks are checked on this thread, as they fill.
    if (jobs == 1) {
        return;
    }
    for (const std::unique_ptr<Worker>& worker : workers_) {
        threads_.emplace_back([this, w = worker.get()] { work(*w); });
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
    if (plain && !settings_.summary && worker.checker.answerPlain(*plain, worker.answer)) {
        worker.rows.append(out, trimWhitespace(address), worker.answer, lineShown, index == 0);
        return;
    }
    worker.checker.check(address, worker.result);
    if (settings_.summary) {
        worker.summary.add(worker.result);
        return;
    }
    if (settings_.format == Format::Text && index > 0) {
        out += '\n';
    }
    // The address as checked: a copied line's line end and blanks are no part of it.
    const std::string_view shown = trimWhitespace(address);
    // format takes the address as a string: one kept per worker, so no allocation per line.
    thread_local std::string text;
    text.assign(shown);
    format(out, settings_.format, text, worker.result, settings_.withAddress, lineShown);
}

void Batch::add(std::string_view address, std::optional<std::size_t> line,
                std::string_view warning) {
    const std::uint64_t index = added_++;
    if (!filling_) {
        if (spare_.empty()) {
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
    {
        const std::lock_guard lock(mutex_);
        waiting_.push_back(filling_.get());
        inFlight_.push_back(std::move(filling_));
    }
    work_.notify_one();
    writeDone(false);
    // Enough ahead to keep every thread busy; more would only hold memory.
    while (inFlight_.size() >= 4 * threads_.size()) {
        writeDone(true);
    }
}

void Batch::drain() {
    submit();
    while (!inFlight_.empty()) {
        writeDone(true);
    }
}

void Batch::writeDone(bool wait) {
    for (bool waitNow = wait;; waitNow = false) {
        std::unique_ptr<Block> block;
        {
            std::unique_lock lock(mutex_);
            if (waitNow && !inFlight_.empty()) {
                done_.wait(lock, [this] { return inFlight_.front()->done; });
            }
            if (inFlight_.empty() || !inFlight_.front()->done) {
                return;
            }
            block = std::move(inFlight_.front());
            inFlight_.pop_front();
        }
        write(*block);
        block->clear();
        spare_.push_back(std::move(block));
    }
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
    for (std::size_t i = 0, start = 0; i < block.size(); start = block.ends[i++]) {
        plain[i] = plainIpv4(
            trimWhitespace(std::string_view(block.addresses).substr(start, block.ends[i] - start)));
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
    std::size_t start = 0;
    auto warning = block.warnings.begin();
    for (std::size_t i = 0; i < block.size(); ++i) {
        prefetch(i + kBucketsAhead, PrefetchStep::Bucket);
        prefetch(i + kEntriesAhead, PrefetchStep::Entries);
        for (; warning != block.warnings.end() && warning->first == i; ++warning) {
            block.told.push_back({block.out.size(), std::move(warning->second), std::nullopt});
        }
        const std::string_view address =
            std::string_view(block.addresses).substr(start, block.ends[i] - start);
        start = block.ends[i];
        checkOne(worker, address, plain[i], block.lines[i], block.first + i, block.out);
    }
}

void Batch::work(Worker& worker) {
    for (;;) {
        Block* block = nullptr;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (waiting_.empty()) {
                return;
            }
            block = waiting_.front();
            waiting_.pop_front();
        }
        try {
            checkBlock(worker, *block);
        } catch (...) {
            block->failure = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            block->done = true;
        }
        done_.notify_all();
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
