// The search tree of a MaxMind DB file (.mmdb), read once with libmaxminddb into flat tables
// of address runs, each with one answer that a record reader made of its data record. The
// file is neither kept open nor mapped afterwards, so a user or an updater can replace it
// while the program runs. The country and the owner databases are two readers over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/prefetch.h"
#include "common/problem.h"
#include "common/table_memory.h"
#include "nets/ip_address.h"

struct MMDB_entry_s;

namespace netsorter {

class TableCacheReader;
class TableCacheWriter;

// What a database says of itself, for display.
struct MmdbMetadata {
    std::string databaseType;
    std::string description;       // the English one when there is one, else the first
    std::uint64_t buildEpoch = 0;  // seconds since 1970-01-01 UTC
    int ipVersion = 0;             // 4, or 6: IPv4 addresses are then found under ::/96
    std::uint32_t nodeCount = 0;
    int recordSize = 0;  // bits

    // The build date as YYYY-MM-DD (UTC).
    std::string buildDate() const;
};

// Turns the data records of one database into answers: small numbers that index the
// reader's own table of values, 0 meaning no answer. Each record is read once, however
// many networks share it.
class MmdbRecordReader {
  public:
    virtual ~MmdbRecordReader() = default;
    // The answer of the record (a map), or why it cannot be one.
    virtual Result<std::uint32_t> read(MMDB_entry_s& record) = 0;
    // Whether some record read so far holds the fields the reader looks for.
    virtual bool recognised() const = 0;
    // Why a file whose records hold none of them is no database of the reader's kind; it
    // starts with kUnrecognised.
    virtual std::string unrecognised() const = 0;

    // The reader's kind as cache files name it (at most 8 bytes): no two readers share one.
    virtual std::string_view cacheKind() const = 0;
    // The table of values into a cache file, and back: restore reads what save wrote and
    // takes it only when it holds the values 0 to answers at least and the file is whole to
    // its end (TableCacheReader::finish), as it then is recognised().
    virtual void save(TableCacheWriter& cache) const = 0;
    virtual bool restore(TableCacheReader& cache, std::uint32_t answers) = 0;
};

// How the reason a file is refused with starts when it is a sound MaxMind DB of another
// kind: a loader that tries every file passes over those in silence.
inline constexpr std::string_view kUnrecognised = "no address has ";
inline bool isUnrecognised(const Status& status) {
    return !status && status.reason().starts_with(kUnrecognised);
}

// The answer for an address and the network of the tree it was found in.
struct MmdbHit {
    std::uint32_t answer = 0;
    // The network's prefix length in the address's own family (an IPv4 address counts from
    // its first bit, also in an IPv6 tree); meaningful only where the networks were kept.
    int prefixLength = 0;
};

class MmdbRanges {
  public:
    // The most answers a reader may give (its values are numbered 1 to this).
    static constexpr std::uint32_t kMaxAnswers = (1u << 23) - 1;

    // Reads the database at path (UTF-8). With keepNetworks every network of the tree keeps
    // its own run, so that a lookup tells the network as libmaxminddb does; without, runs of
    // one answer are joined. A file that is not a sound MaxMind DB is refused with the reason;
    // nothing is thrown for bad input. So is one whose records hold none of the reader's
    // fields, told as early as the first thousand networks with a record (a file of another kind,
    // tried by a loader, is not walked whole).
    // With a cacheDir the tables are kept there once made, in a file of the reader's kind
    // for this database, and read from it on later loads while it was made from a database
    // of the same content (its SHA-256); a cache file that is missing, stale or damaged is
    // made again, and one that cannot be written is done without.
    static Result<MmdbRanges> load(const std::string& path, MmdbRecordReader& reader,
                                   bool keepNetworks, const std::string& cacheDir = {});
    // What a MaxMind DB file says of itself, read without its tree; nothing for a file that
    // is none.
    static std::optional<MmdbMetadata> readMetadata(const std::string& path);

    // Nothing is found for an IPv6 address in an IPv4 database (libmaxminddb refuses those
    // lookups).
    MmdbHit find(std::uint32_t ipv4) const;
    MmdbHit find(Ipv6Number ipv6) const;
    // Readies the memory find(ipv4) will read.
    void prefetch(std::uint32_t ipv4, PrefetchStep step) const {
        if (bucket4_.empty()) {
            return;
        }
        const std::uint32_t* bucket = bucket4_.data() + (ipv4 >> kBucketShift);
        if (step == PrefetchStep::Bucket) {
            __builtin_prefetch(bucket);
        } else {
            prefetchBytes(runs4_.data() + bucket[0], (bucket[1] - bucket[0] + 1) * sizeof(Run4));
        }
    }

    const MmdbMetadata& metadata() const { return metadata_; }
    // The SHA-256 (lower-case hex) of the database's content the tables were made from, when
    // a load with a cache hashed it; else empty.
    const std::string& databaseSha256() const { return databaseSha256_; }
    // The memory the tables hold, in bytes.
    std::size_t tableBytes() const;

  private:
    friend class MmdbTreeReader;

    MmdbRanges() = default;  // only load makes one, with its tables

    static Result<MmdbRanges> fromTree(const std::string& path, MmdbRecordReader& reader,
                                       bool keepNetworks, bool hash);
    static std::optional<MmdbRanges> fromCache(const std::string& path,
                                               const std::string& cachePath,
                                               MmdbRecordReader& reader);
    Status save(const std::string& cachePath, const MmdbRecordReader& reader) const;

    // A run of one answer: its first address, and a word holding the answer (low 23 bits)
    // and, where networks are kept, the network's prefix length (the next 8), so that a
    // lookup reads one place for both. In the IPv6 table the top bit instead sends the
    // lookup to the IPv4 table with the 32 bits of the address from the bit in the low byte
    // (the tree's IPv4 subtree, reached under ::/96 and its aliases).
    struct Run4 {
        std::uint32_t start;
        std::uint32_t word;
    };
    // Every byte a field, so that a table written to a file holds nothing left in memory.
    struct Run6 {
        Ipv6Number start;
        std::uint32_t word;
        std::uint32_t unused;
    };

    MmdbMetadata metadata_;
    std::string databaseSha256_;
    std::uint64_t databaseSize_ = 0;
    // IPv4: the runs in order from 0; bucket4_[b] is the run holding the address
    // b << kBucketShift (one more entry: the last run), so a lookup searches only the runs
    // between two neighbouring entries.
    TableVector<Run4> runs4_;
    TableVector<std::uint32_t> bucket4_;
    static constexpr int kBucketShift = 16;
    // IPv6 likewise, without buckets.
    TableVector<Run6> runs6_;
};

}  // namespace netsorter
