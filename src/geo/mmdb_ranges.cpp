#include "geo/mmdb_ranges.h"

#include <maxminddb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <type_traits>
#include <utility>

#include "common/files.h"
#include "common/sha256.h"
#include "common/text.h"
#include "geo/table_cache.h"

namespace netsorter {
namespace {

constexpr std::uint64_t kSeparatorBytes = 16;
// The words of the runs: the reader's answer and the prefix length, or the IPv4 table asked
// with the 32 bits of the address that start at the bit in the low byte.
constexpr std::uint32_t kNoAnswer = 0;
constexpr std::uint32_t kAnswerMask = MmdbRanges::kMaxAnswers;
constexpr int kLengthShift = 23;
constexpr std::uint32_t kIpv4Below = 0x80000000;
// The tree's IPv4 subtree lies under ::/96; MaxMind's writers alias it from
// ::ffff:0:0/96 and 2002::/16, that is from no deeper than this.
constexpr int kIpv4Depth = 96;

struct MmdbClose {
    void operator()(MMDB_s* db) const {
        MMDB_close(db);
        delete db;
    }
};
using OpenMmdb = std::unique_ptr<MMDB_s, MmdbClose>;

std::string atOffset(std::uint32_t offset) {
    return "the record at data offset " + std::to_string(offset);
}

}  // namespace

// The answers of the records read so far by their data offsets: an open-addressing table,
// as a tree of a million networks asks it once per network.
class OffsetAnswers {
  public:
    const std::uint32_t* find(std::uint32_t offset) const {
        if (slots_.empty()) {
            return nullptr;
        }
        for (std::size_t i = slot(offset);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].key == offset + 1) {
                return &slots_[i].answer;
            }
            if (slots_[i].key == 0) {
                return nullptr;
            }
        }
    }
    void add(std::uint32_t offset, std::uint32_t answer) {
        if (2 * (used_ + 1) > slots_.size()) {
            grow();
        }
        std::size_t i = slot(offset);
        while (slots_[i].key != 0) {
            i = (i + 1) & (slots_.size() - 1);
        }
        slots_[i] = {offset + 1, answer};
        ++used_;
    }

  private:
    struct Slot {
        std::uint32_t key = 0;  // the offset plus one; 0 is an empty slot
        std::uint32_t answer = 0;
    };
    std::vector<Slot> slots_;
    std::size_t used_ = 0;

    std::size_t slot(std::uint32_t offset) const {
        return (offset * std::uint64_t{0x9E3779B97F4A7C15} >> 32) & (slots_.size() - 1);
    }
    void grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
        used_ = 0;
        for (const Slot& s : old) {
            if (s.key != 0) {
                add(s.key - 1, s.answer);
            }
        }
    }
};

// Walks the search tree with libmaxminddb's reads and turns it into runs of one answer.
class MmdbTreeReader {
  public:
    MmdbTreeReader(const MMDB_s& db, MmdbRecordReader& records, bool keepNetworks)
        : db_(db),
          records_(records),
          keepNetworks_(keepNetworks),
          nodeCount_(db.metadata.node_count),
          // A sound tree is walked about once per node: the IPv4 subtree is walked for the
          // IPv4 table and stands as one answer wherever the IPv6 walk reaches it. Aliases
          // elsewhere, or damage, would multiply the walk; past this it is refused.
          budget_(2 * std::uint64_t{db.metadata.node_count} + 1024) {}

    // Fills runs with the runs below record root, for addresses of bits bits held at the
    // top of an Ipv6Number. With ipv4Node, that node reached no deeper than ::/96 is one
    // answer that sends the lookup to the IPv4 table. False with reason() on damage.
    template <class Runs>
    bool walk(std::uint64_t root, int bits, std::optional<std::uint64_t> ipv4Node, Runs& runs) {
        using Run = typename Runs::value_type;
        struct Pending {
            std::uint64_t record;
            int depth;
            Ipv6Number start;
        };
        // Depth first, the 0 side before the 1 side: the runs come in address order, and
        // the stack never holds more than one entry per level.
        // At most one entry per level and the root: a fixed stack.
        std::array<Pending, 130> pending;
        std::size_t top = 0;
        pending[top++] = {root, 0, {}};
        while (top > 0) {
            const Pending p = pending[--top];
            std::uint32_t answer = kNoAnswer;
            if (p.record >= nodeCount_) {
                if (!terminal(p.record, answer)) {
                    return false;
                }
            } else if (ipv4Node && p.record == *ipv4Node && p.depth <= kIpv4Depth) {
                answer = kIpv4Below | static_cast<std::uint32_t>(p.depth);
            } else {
                if (p.depth == bits) {
                    return fail("the search tree goes on past " + std::to_string(bits) +
                                " bits (node " + std::to_string(p.record) + ")");
                }
                if (p.record == 0 && p.depth > 0) {
                    return fail("the search tree leads back to its root");
                }
                if (budget_ == 0) {
                    return fail("the search tree reaches its " + std::to_string(nodeCount_) +
                                " nodes far more often than a tree does");
                }
                --budget_;
                MMDB_search_node_s node{};
                const int status =
                    MMDB_read_node(&db_, static_cast<std::uint32_t>(p.record), &node);
                if (status != MMDB_SUCCESS) {
                    return fail(std::string("the search tree cannot be read: ") +
                                MMDB_strerror(status));
                }
                pending[top++] = {node.right_record, p.depth + 1, withBit(p.start, p.depth)};
                pending[top++] = {node.left_record, p.depth + 1, p.start};
                continue;
            }
            // Where networks are kept, each network that answers is a run of its own.
            if (keepNetworks_ && answer != kNoAnswer && !(answer & kIpv4Below)) {
                answer |= static_cast<std::uint32_t>(p.depth) << kLengthShift;
            } else if (!runs.empty() && runs.back().word == answer) {
                continue;
            }
            if constexpr (std::is_same_v<Run, MmdbRanges::Run4>) {
                runs.push_back({static_cast<std::uint32_t>(p.start.hi >> 32), answer});
            } else {
                runs.push_back({.start = p.start, .word = answer, .unused = 0});
            }
        }
        return true;
    }

    const std::string& reason() const { return reason_; }

  private:
    const MMDB_s& db_;
    MmdbRecordReader& records_;
    const bool keepNetworks_;
    const std::uint64_t nodeCount_;
    std::uint64_t budget_;
    std::string reason_;
    // Records are shared by many networks: each is read once.
    OffsetAnswers byOffset_;
    // A database holds its fields in most of its records, so a file of another kind shows
    // itself within the first networks that have a record (many share one).
    static constexpr std::uint64_t kRecognisedWithin = 1000;
    std::uint64_t recordsMet_ = 0;

    bool fail(std::string reason) {
        reason_ = std::move(reason);
        return false;
    }

    static Ipv6Number withBit(Ipv6Number key, int bit) {
        if (bit < 64) {
            key.hi |= std::uint64_t{1} << (63 - bit);
        } else {
            key.lo |= std::uint64_t{1} << (127 - bit);
        }
        return key;
    }

    // The answer of a record that is no node: no data, or a data record.
    bool terminal(std::uint64_t record, std::uint32_t& answer) {
        if (record == nodeCount_) {
            answer = kNoAnswer;
            return true;
        }
        const std::uint64_t past = record - nodeCount_;
        if (past < kSeparatorBytes) {
            return fail("the search tree points into the separator before the data");
        }
        if (past - kSeparatorBytes >= db_.data_section_size) {
            return fail("the search tree points past the data section");
        }
        if (++recordsMet_ == kRecognisedWithin && !records_.recognised()) {
            return fail(records_.unrecognised());
        }
        const auto offset = static_cast<std::uint32_t>(past - kSeparatorBytes);
        if (const std::uint32_t* known = byOffset_.find(offset)) {
            answer = *known;
            return true;
        }
        if (!readRecord(offset, answer)) {
            return false;
        }
        byOffset_.add(offset, answer);
        return true;
    }

    bool readRecord(std::uint32_t offset, std::uint32_t& answer) {
        MMDB_entry_s entry{&db_, offset};
        MMDB_entry_data_s data{};
        const char* const itself[] = {nullptr};
        const int status = MMDB_aget_value(&entry, &data, itself);
        if (status != MMDB_SUCCESS) {
            return fail(atOffset(offset) + " cannot be read: " + MMDB_strerror(status));
        }
        if (data.type != MMDB_DATA_TYPE_MAP) {
            return fail(atOffset(offset) + " is not a map");
        }
        const Result<std::uint32_t> read = records_.read(entry);
        if (!read) {
            return fail(atOffset(offset) + " " + read.reason());
        }
        if (*read > MmdbRanges::kMaxAnswers) {
            return fail("more than " + std::to_string(MmdbRanges::kMaxAnswers) +
                        " different records");
        }
        answer = *read;
        return true;
    }
};

std::string MmdbMetadata::buildDate() const {
    using namespace std::chrono;
    // Past the year 9999 (damage, most likely) the date says so rather than wrapping.
    constexpr std::uint64_t kLast = 253402300799;
    const sys_days day = floor<days>(
        sys_seconds{seconds{static_cast<std::int64_t>(buildEpoch < kLast ? buildEpoch : kLast)}});
    const year_month_day date{day};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

namespace {

// libmaxminddb would wait on a FIFO for a writer and map a device: only regular files go to
// it, and the system's own reason is kept for files that cannot be opened.
Result<OpenMmdb> openMmdb(const std::string& path) {
    if (const Status opened = RandomAccessFile().open(path); !opened) {
        return opened;
    }
    OpenMmdb db(new MMDB_s{});
    const int status = MMDB_open(path.c_str(), MMDB_MODE_MMAP, db.get());
    if (status != MMDB_SUCCESS) {
        delete db.release();  // a failed open has released everything itself
        return Status::failure(std::string("not a MaxMind DB: ") + MMDB_strerror(status));
    }
    return db;
}

MmdbMetadata metadataOf(const MMDB_metadata_s& meta) {
    MmdbMetadata out;
    // The texts are shown as they are: bytes that are not UTF-8, damage, are not.
    const auto text = [](const char* bytes) {
        return bytes && isValidUtf8(bytes) ? std::string(bytes) : std::string();
    };
    out.databaseType = text(meta.database_type);
    for (std::size_t i = 0; i < meta.description.count; ++i) {
        const MMDB_description_s* d = meta.description.descriptions[i];
        if (d && (i == 0 || (d->language && std::string_view(d->language) == "en"))) {
            out.description = text(d->description);
        }
    }
    out.buildEpoch = meta.build_epoch;
    out.ipVersion = meta.ip_version;
    out.nodeCount = meta.node_count;
    out.recordSize = meta.record_size;
    return out;
}

}  // namespace

std::optional<MmdbMetadata> MmdbRanges::readMetadata(const std::string& path) {
    const Result<OpenMmdb> db = openMmdb(path);
    if (!db) {
        return std::nullopt;
    }
    return metadataOf((*db)->metadata);
}

Result<MmdbRanges> MmdbRanges::fromTree(const std::string& path, MmdbRecordReader& records,
                                        bool keepNetworks, bool hash) {
    Result<OpenMmdb> opened = openMmdb(path);
    if (!opened) {
        return opened.status();
    }
    const OpenMmdb db = std::move(*opened);
    const MMDB_metadata_s& meta = db->metadata;
    // Offsets in the format are 32-bit; libmaxminddb sizes the tree in 32 bits too.
    if (db->file_size < 0 ||
        static_cast<std::uint64_t>(db->file_size) > std::numeric_limits<std::uint32_t>::max()) {
        return Status::failure("larger than a MaxMind DB can be (4 GiB)");
    }
    const std::uint64_t treeBytes = std::uint64_t{meta.node_count} * db->full_record_byte_size;
    if (treeBytes + kSeparatorBytes > static_cast<std::uint64_t>(db->file_size)) {
        return Status::failure("the search tree of " + std::to_string(meta.node_count) +
                               " nodes does not fit in the file");
    }

    MmdbRanges out;
    out.metadata_ = metadataOf(meta);

    // IPv4 addresses are found as libmaxminddb finds them: in an IPv6 tree from the record
    // it reaches after 96 zero bits (or fewer, where the tree ends sooner).
    MmdbTreeReader reader(*db, records, keepNetworks);
    // A tree has a leaf more than it has nodes, so the runs fit in that much room: reserved
    // once, it is never copied, and the part not filled is never touched.
    out.runs4_.reserve(std::size_t{meta.node_count} + 1);
    const bool ipv6 = meta.ip_version == 6;
    const std::uint64_t ipv4Root = ipv6 ? db->ipv4_start_node.node_value : 0;
    if (!reader.walk(ipv4Root, 32, std::nullopt, out.runs4_)) {
        return Status::failure(reader.reason());
    }
    if (ipv6) {
        out.runs6_.reserve(std::size_t{meta.node_count} + 1);
        std::optional<std::uint64_t> ipv4Node;
        if (db->ipv4_start_node.netmask == kIpv4Depth && ipv4Root < meta.node_count) {
            ipv4Node = ipv4Root;
        }
        if (!reader.walk(0, 128, ipv4Node, out.runs6_)) {
            return Status::failure(reader.reason());
        }
    }

    if (!records.recognised()) {
        return Status::failure(records.unrecognised());
    }

    // 2^16 buckets: the bucket table (256 KiB) stays in the cache beside everything else a
    // check touches, where a finer one would cost a miss of its own on every lookup.
    const std::uint32_t buckets = std::uint32_t{1} << (32 - kBucketShift);
    out.bucket4_.resize(std::size_t{buckets} + 1);
    std::uint32_t run = 0;
    for (std::uint32_t b = 0; b < buckets; ++b) {
        while (run + 1 < out.runs4_.size() && out.runs4_[run + 1].start <= b << kBucketShift) {
            ++run;
        }
        out.bucket4_[b] = run;
    }
    out.bucket4_.back() = static_cast<std::uint32_t>(out.runs4_.size() - 1);
    if (hash) {
        // The content the tables were made from, as libmaxminddb holds it: a file replaced
        // meanwhile is not mistaken for it.
        Sha256 digest;
        digest.add(std::string_view(reinterpret_cast<const char*>(db->file_content),
                                    static_cast<std::size_t>(db->file_size)));
        out.databaseSha256_ = digest.hexDigest();
        out.databaseSize_ = static_cast<std::uint64_t>(db->file_size);
    }
    return out;
}

namespace {

// What the cache keeps of the metadata besides its texts, and the most answer the runs give.
struct CachedFacts {
    std::uint64_t buildEpoch;
    std::uint32_t ipVersion;
    std::uint32_t nodeCount;
    std::uint32_t recordSize;
    std::uint32_t answers;
};
// The metadata's texts are short; a longer one is damage.
constexpr std::uint64_t kMaxCachedText = 64 * 1024;
// A node takes two records of 24 bits at least.
constexpr std::uint64_t kMinNodeBytes = 6;

// A run's word can be used by find: its answer is in the reader's table and its prefix
// length (or the depth of the IPv4 subtree) keeps the shifts of a lookup in range.
bool soundWord(std::uint32_t word, std::uint32_t answers, int bits) {
    if (word & kIpv4Below) {
        return bits == 128 && (word & ~(kIpv4Below | 0xFF)) == 0 && (word & 0xFF) <= kIpv4Depth;
    }
    return (word & kAnswerMask) <= answers && static_cast<int>(word >> kLengthShift) <= bits;
}

}  // namespace

Result<MmdbRanges> MmdbRanges::load(const std::string& path, MmdbRecordReader& records,
                                    bool keepNetworks, const std::string& cacheDir) {
    if (cacheDir.empty()) {
        return fromTree(path, records, keepNetworks, false);
    }
    const std::string cachePath = tableCachePath(cacheDir, records.cacheKind(), path);
    if (std::optional<MmdbRanges> cached = fromCache(path, cachePath, records)) {
        return std::move(*cached);
    }
    Result<MmdbRanges> made = fromTree(path, records, keepNetworks, true);
    // A cache that cannot be written costs the next start its time, and nothing else.
    if (made && makeDirectories(cacheDir)) {
        (void)made->save(cachePath, records);
    }
    return made;
}

std::optional<MmdbRanges> MmdbRanges::fromCache(const std::string& path,
                                                const std::string& cachePath,
                                                MmdbRecordReader& records) {
    RandomAccessFile database;
    if (!database.open(path)) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> size = database.size();
    if (!size) {
        return std::nullopt;
    }
    // The database is hashed only when a cache file of its size is there.
    std::optional<TableCacheReader> cache =
        TableCacheReader::open(cachePath, records.cacheKind(), *size);
    if (!cache) {
        return std::nullopt;
    }
    const Result<std::string> digest = sha256OfFile(database);
    if (!digest || *digest != cache->databaseSha256()) {
        return std::nullopt;
    }
    database.close();

    MmdbRanges out;
    out.databaseSha256_ = *digest;
    out.databaseSize_ = *size;
    std::vector<CachedFacts> facts;
    if (!cache->read(facts, 1) || facts.size() != 1) {
        return std::nullopt;
    }
    const CachedFacts& f = facts.front();
    const std::uint64_t maxRuns = std::uint64_t{f.nodeCount} + 1;
    if ((f.ipVersion != 4 && f.ipVersion != 6) || f.nodeCount > *size / kMinNodeBytes ||
        f.answers > kMaxAnswers || !cache->read(out.metadata_.databaseType, kMaxCachedText) ||
        !cache->read(out.metadata_.description, kMaxCachedText) ||
        !isValidUtf8(out.metadata_.databaseType) || !isValidUtf8(out.metadata_.description)) {
        return std::nullopt;
    }
    out.metadata_.buildEpoch = f.buildEpoch;
    out.metadata_.ipVersion = static_cast<int>(f.ipVersion);
    out.metadata_.nodeCount = f.nodeCount;
    out.metadata_.recordSize = static_cast<int>(f.recordSize);

    const std::uint64_t buckets = (std::uint64_t{1} << (32 - kBucketShift)) + 1;
    if (!cache->read(out.runs4_, maxRuns) || !cache->read(out.bucket4_, buckets) ||
        !cache->read(out.runs6_, f.ipVersion == 6 ? maxRuns : 0) || out.runs4_.empty() ||
        out.bucket4_.size() != buckets) {
        return std::nullopt;
    }
    // Lookups index by these without a check of their own.
    const auto lastRun = static_cast<std::uint32_t>(out.runs4_.size() - 1);
    std::uint32_t previous = 0;
    for (const std::uint32_t run : out.bucket4_) {
        if (run < previous || run > lastRun) {
            return std::nullopt;
        }
        previous = run;
    }
    if (out.bucket4_.back() != lastRun) {
        return std::nullopt;
    }
    for (const Run4& run : out.runs4_) {
        if (!soundWord(run.word, f.answers, 32)) {
            return std::nullopt;
        }
    }
    for (const Run6& run : out.runs6_) {
        if (!soundWord(run.word, f.answers, 128)) {
            return std::nullopt;
        }
    }
    if (!records.restore(*cache, f.answers)) {
        return std::nullopt;
    }
    return out;
}

Status MmdbRanges::save(const std::string& cachePath, const MmdbRecordReader& records) const {
    std::uint32_t answers = 0;
    for (const Run4& run : runs4_) {
        answers = std::max(answers, run.word & kAnswerMask);
    }
    for (const Run6& run : runs6_) {
        answers = std::max(answers, run.word & kIpv4Below ? 0 : run.word & kAnswerMask);
    }
    const std::vector<CachedFacts> facts{
        {.buildEpoch = metadata_.buildEpoch,
         .ipVersion = static_cast<std::uint32_t>(metadata_.ipVersion),
         .nodeCount = metadata_.nodeCount,
         .recordSize = static_cast<std::uint32_t>(metadata_.recordSize),
         .answers = answers}};
    TableCacheWriter cache(TableCacheKey{.kind = records.cacheKind(),
                                         .databaseSize = databaseSize_,
                                         .databaseSha256 = databaseSha256_});
    cache.add(facts);
    cache.add(metadata_.databaseType);
    cache.add(metadata_.description);
    cache.add(runs4_);
    cache.add(bucket4_);
    cache.add(runs6_);
    records.save(cache);
    return cache.write(cachePath);
}

MmdbHit MmdbRanges::find(std::uint32_t ipv4) const {
    // The runs that can hold the address lie between its bucket's and the next one's.
    const std::uint32_t bucket = ipv4 >> kBucketShift;
    const Run4* run = runs4_.data() + bucket4_[bucket];
    std::uint32_t count = bucket4_[bucket + 1] - bucket4_[bucket] + 1;
    // A few dozen runs are counted outright: their cache lines load side by side, where a
    // search would load them one after the other. The first run holds the address.
    if (constexpr std::uint32_t kCounted = 48; count <= kCounted) {
        std::uint32_t below = 0;
        for (std::uint32_t i = 1; i < count; ++i) {
            below += run[i].start <= ipv4;
        }
        run += below;
        count = 1;
    }
    while (count > 1) {
        const std::uint32_t half = count / 2;
        if (run[half].start <= ipv4) {
            run += half;
            count -= half;
        } else {
            count = half;
        }
    }
    return {run->word & kAnswerMask, static_cast<int>(run->word >> kLengthShift)};
}

MmdbHit MmdbRanges::find(Ipv6Number key) const {
    const auto after =
        std::upper_bound(runs6_.begin(), runs6_.end(), key,
                         [](const Ipv6Number& k, const Run6& run) { return k < run.start; });
    if (after == runs6_.begin()) {
        return {};  // an IPv4 database
    }
    const std::uint32_t answer = std::prev(after)->word;
    if (!(answer & kIpv4Below)) {
        return {answer & kAnswerMask, static_cast<int>(answer >> kLengthShift)};
    }
    // The 32 bits from the depth where the walk met the IPv4 subtree; at most 96.
    const int from = static_cast<int>(answer & 0xFF);
    const std::uint64_t top = from == 0   ? key.hi
                              : from < 64 ? key.hi << from | key.lo >> (64 - from)
                                          : key.lo << (from - 64);
    MmdbHit hit = find(static_cast<std::uint32_t>(top >> 32));
    hit.prefixLength += from;
    return hit;
}

std::size_t MmdbRanges::tableBytes() const {
    // What is filled: the room reserved beyond it is never touched, so never in memory.
    const auto bytes = [](const auto& v) { return v.size() * sizeof(v[0]); };
    return bytes(runs4_) + bytes(bucket4_) + bytes(runs6_);
}

}  // namespace netsorter
