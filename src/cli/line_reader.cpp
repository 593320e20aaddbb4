#include "cli/line_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/text.h"

namespace netsorter::console {
namespace {

constexpr std::size_t kPiece = 1 << 16;
// What the start of the input must show before it is taken for UTF-16 without a mark.
constexpr std::size_t kSniffBytes = 64;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Whether the start of the input may still be plain text in UTF-16 without a mark: NUL in
// every other byte (odd ones for little-endian, even ones for big-endian) and in no other,
// which also tells it from a run of NUL bytes.
bool mayBeUnmarkedUtf16(std::string_view bytes, std::size_t nulAt) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if ((bytes[i] == '\0') != (i % 2 == nulAt)) {
            return false;
        }
    }
    return true;
}

// Whether one of the eight bytes at p is below 14, as LF, CR and NUL are: a line is scanned
// eight bytes at a time.
bool anyBelowFourteen(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    return ((word - kOnes * 14) & ~word & kOnes * 0x80) != 0;
}

// Unicode's White_Space beyond ASCII, and U+FEFF.
constexpr std::string_view kWideSpaces[] = {"\u0085", "\u00A0", "\u1680", "\u2000", "\u2001",
                                            "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
                                            "\u2007", "\u2008", "\u2009", "\u200A", "\u2028",
                                            "\u2029", "\u202F", "\u205F", "\u3000", "\uFEFF"};

// The length of the space beyond ASCII that text starts with (ends with, atEnd), or 0.
std::size_t wideSpaceLength(std::string_view text, bool atEnd) {
    for (const std::string_view space : kWideSpaces) {
        if (atEnd ? text.ends_with(space) : text.starts_with(space)) {
            return space.size();
        }
    }
    return 0;
}

// The same for any whitespace character; text is not empty.
std::size_t spaceLength(std::string_view text, bool atEnd) {
    const auto c = static_cast<unsigned char>(atEnd ? text.back() : text.front());
    if (c < 0x80) {
        return c == ' ' || (c >= '\t' && c <= '\r') ? 1 : 0;
    }
    return wideSpaceLength(text, atEnd);
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
        head = std::string_view(raw_).substr(0, kSniffBytes);
    } while (!ended_ && head.size() < kSniffBytes &&
             (mayBeUnmarkedUtf16(head, 0) || mayBeUnmarkedUtf16(head, 1) ||
              (head.size() < kUtf8Mark.size() && kUtf8Mark.starts_with(head))));
    if (!error_.empty()) {
        return;
    }
    if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
        encoding_ = head[0] == '\xFF' ? Encoding::Utf16le : Encoding::Utf16be;
        raw_.erase(0, 2);
        decodeUtf16();
        return;
    }
    if (head.size() >= 4 && (mayBeUnmarkedUtf16(head, 0) || mayBeUnmarkedUtf16(head, 1))) {
        error_ =
            "it looks like UTF-16 without a byte-order mark; give it in UTF-8, or in UTF-16 "
            "with the mark";
        ended_ = true;
        return;
    }
    encoding_ = Encoding::Bytes;
    if (head.starts_with(kUtf8Mark)) {
        raw_.erase(0, kUtf8Mark.size());
    }
    buffer_.swap(raw_);
    end_ = buffer_.size();
}

void LineReader::decodeUtf16() {
    buffer_.clear();
    const bool little = encoding_ == Encoding::Utf16le;
    std::size_t i = 0;
    for (; i + 1 < raw_.size(); i += 2) {
        const auto first = static_cast<unsigned char>(raw_[i]);
        const auto second = static_cast<unsigned char>(raw_[i + 1]);
        const auto unit = static_cast<char16_t>(little ? second << 8 | first : first << 8 | second);
        if (highSurrogate_ != 0) {
            const char16_t high = std::exchange(highSurrogate_, 0);
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                appendUtf8(buffer_, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                continue;
            }
            appendUtf8(buffer_, 0xFFFD);
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            highSurrogate_ = unit;
        } else {
            appendUtf8(buffer_, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }
    raw_.erase(0, i);
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

std::string_view trimWhitespace(std::string_view utf8) {
    for (std::size_t n; !utf8.empty() && (n = spaceLength(utf8, false)) != 0;) {
        utf8.remove_prefix(n);
    }
    for (std::size_t n; !utf8.empty() && (n = spaceLength(utf8, true)) != 0;) {
        utf8.remove_suffix(n);
    }
    return utf8;
}

}  // namespace netsorter::console
