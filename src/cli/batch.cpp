#include "cli/batch.h"

#include <algorithm>
#include <utility>

#include "cli/console.h"
#include "common/text.h"

namespace netsorter::cli {

struct Batch::Worker {
    Worker(Engines& engines, CheckOptions check, std::mutex* slowPath)
        : checker(engines, std::move(check), slowPath) {}

    BatchChecker checker;
    CheckResult result;
    Summary summary;
    Block* block = nullptr;  // being checked, for the problems its checks find
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
    if (settings_.jobs <= 1) {
        workers_.push_back(std::make_unique<Worker>(engines_, check_, nullptr));
        return;
    }
    // The checkers are made here, on the loading thread, before any of them is shared.
    for (unsigned i = 0; i < settings_.jobs; ++i) {
        CheckOptions own = check_;
        own.onProblem = [this, i](const Problem& problem) {
            Block& block = *workers_[i]->block;
            block.told.push_back({block.out.size(), {}, problem});
        };
        workers_.push_back(std::make_unique<Worker>(engines_, std::move(own), &slowPath_));
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

void Batch::checkOne(Worker& worker, std::string_view address, std::size_t line,
                     std::uint64_t index, std::string& out) {
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
    format(out, settings_.format, text, worker.result, settings_.withAddress,
           line == 0 ? std::nullopt : std::optional<std::size_t>(line));
}

void Batch::add(std::string_view address, std::optional<std::size_t> line,
                std::string_view warning) {
    const std::uint64_t index = added_++;
    if (threads_.empty()) {
        if (!warning.empty()) {
            console::tell(warning);
        }
        thread_local std::string out;
        out.clear();
        checkOne(*workers_.front(), address, line.value_or(0), index, out);
        console::writeOut(out);
        return;
    }
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
    if (block.size() == kBlockItems) {
        submit();
    }
}

void Batch::submit() {
    if (!filling_) {
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
    std::size_t start = 0;
    auto warning = block.warnings.begin();
    for (std::size_t i = 0; i < block.size(); ++i) {
        for (; warning != block.warnings.end() && warning->first == i; ++warning) {
            block.told.push_back({block.out.size(), std::move(warning->second), std::nullopt});
        }
        const std::string_view address =
            std::string_view(block.addresses).substr(start, block.ends[i] - start);
        start = block.ends[i];
        checkOne(worker, address, block.lines[i], block.first + i, block.out);
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
