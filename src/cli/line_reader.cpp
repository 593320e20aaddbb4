#include "cli/line_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/text.h"

namespace netsorter::console {
namespace {

constexpr std::size_t kPiece = 1 << 16;
// Whether one of the eight bytes at p is below 14, as LF, CR and NUL are: a line is scanned
// eight bytes at a time.
bool anyBelowFourteen(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    return ((word - kOnes * 14) & ~word & kOnes * 0x80) != 0;
}

}  // namespace

LineReader::LineReader(Read read, std::function<void()> beforeWait)
    : read_(std::move(read)), beforeWait_(std::move(beforeWait)) {}

bool LineReader::readLine(Line& line) {
    line.text.clear();
    line.fault = Line::Fault::None;
    std::size_t length = 0;  // counted up to one byte beyond the bound
    bool nul = false;
    for (;;) {
        const char* const begin = buffer_.data();
        const char* const end = begin + end_;
        const char* from = begin + at_;
        if (skipLf_ && from != end) {
            skipLf_ = false;
            from += *from == '\n';
        }
        const char* stop = from;
        while (end - stop >= 8 && !anyBelowFourteen(stop)) {
            stop += 8;
        }
        for (; stop != end; ++stop) {
            if (static_cast<unsigned char>(*stop) <= '\r') {
                if (*stop == '\n' || *stop == '\r') {
                    break;
                }
                nul = nul || *stop == '\0';
            }
        }
        const auto n = static_cast<std::size_t>(stop - from);
        if (length + n <= kMaxLineBytes) {
            line.text.append(from, n);
        }
        length = std::min(length + n, kMaxLineBytes + 1);
        if (stop != end) {
            // Answered at once: the LF of a CR LF may not have been sent yet.
            skipLf_ = *stop == '\r';
            at_ = static_cast<std::size_t>(stop - begin) + 1;
            break;
        }
        at_ = end_;
        if (ended_) {
            if (!error_.empty() || length == 0) {
                return false;
            }
            break;
        }
        fill();
    }
    line.number = ++lines_;
    if (length > kMaxLineBytes || nul) {
        line.fault = length > kMaxLineBytes ? Line::Fault::TooLong : Line::Fault::Nul;
        line.text.clear();
    }
    return true;
}

void LineReader::fill() {
    at_ = 0;
    switch (encoding_) {
        case Encoding::Unknown:
            sniff();
            break;
        case Encoding::Bytes:
            // Sized once: a read of a few bytes does not clear a whole piece.
            buffer_.resize(kPiece);
            end_ = readSome(buffer_.data(), kPiece);
            break;
        case Encoding::Utf16le:
        case Encoding::Utf16be:
            readInto(raw_);
            decodeUtf16();
            break;
    }
}

std::size_t LineReader::readSome(char* to, std::size_t size) {
    if (beforeWait_) {
        beforeWait_();
    }
    const Result<std::size_t> got = read_(to, size);
    if (!got) {
        error_ = got.reason();
    }
    ended_ = !got || *got == 0;
    return got ? *got : 0;
}

void LineReader::readInto(std::string& to) {
    const std::size_t had = to.size();
    to.resize(had + kPiece);
    to.resize(had + readSome(to.data() + had, kPiece));
}

// Reads until the start tells the encoding, the same way however the input is cut into
// reads, and waiting for no more than ordinary text needs to show it is no UTF-16.
void LineReader::sniff() {
    std::string_view head;
    do {
        readInto(raw_);
        head = raw_;
    } while (!ended_ && encodingMayStillChange(head));
    if (!error_.empty()) {
        return;
    }
    const TextEncoding encoding = encodingOf(head);
    if (std::string reason = refusedEncodingReason(encoding); !reason.empty()) {
        error_ = std::move(reason);
        ended_ = true;
        return;
    }
    if (encoding != TextEncoding::Bytes) {
        encoding_ = encoding == TextEncoding::Utf16Le ? Encoding::Utf16le : Encoding::Utf16be;
        raw_.erase(0, 2);
        decodeUtf16();
        return;
    }
    encoding_ = Encoding::Bytes;
    if (head.starts_with("\xEF\xBB\xBF")) {
        raw_.erase(0, 3);
    }
    buffer_.swap(raw_);
    end_ = buffer_.size();
}

void LineReader::decodeUtf16() {
    buffer_.clear();
    raw_.erase(0, appendUtf16(buffer_, raw_, encoding_ == Encoding::Utf16le, highSurrogate_));
    if (ended_ && error_.empty()) {
        // A surrogate without its pair, a byte without its partner.
        if (std::exchange(highSurrogate_, 0) != 0) {
            appendUtf8(buffer_, 0xFFFD);
        }
        if (!raw_.empty()) {
            appendUtf8(buffer_, 0xFFFD);
            raw_.clear();
        }
    }
    end_ = buffer_.size();
}

}  // namespace netsorter::console
