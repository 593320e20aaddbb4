// The GeoIP library's answers, written down by a build step on this machine (the library
// exists only natively), replayed against this build's country lookup on the databases
// copied beside it.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "common/files.h"
#include "common/text.h"
#include "oracle/oracle_support.h"

namespace netsorter::oracle {
namespace {

// The database of the cases' first line, read here to check its fingerprint.
void replay(const char* casesPath, const char* databaseName, IndexLookup& ours) {
    const Result<std::string> read = readWholeFile(casesPath);
    ASSERT_TRUE(read) << casesPath << ": " << read.reason();
    const std::string& cases = *read;
    const std::string database = fullName(programDir(), databaseName);
    const Result<std::string> readDb = readWholeFile(database);
    ASSERT_TRUE(readDb) << database << ": " << readDb.reason();
    const std::string& db = *readDb;

    const std::vector<std::string> lines = splitLines(cases);
    ASSERT_FALSE(lines.empty());
    ASSERT_TRUE(lines[0].ends_with(" " + fingerprint(db)))
        << "the cases were written for another database: " << lines[0] << "; this build has "
        << fingerprint(db) << " at " << database;

    ASSERT_TRUE(ours.ready()) << database;
    const auto start = std::chrono::steady_clock::now();
    size_t checked = 0;
    size_t mismatches = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) {
            continue;
        }
        const size_t blank = line.find(' ');
        ASSERT_NE(blank, std::string::npos) << "line " << i + 1 << ": " << line;
        const int theirs = std::stoi(line.substr(blank + 1));
        const int mine = ours.index(std::string_view(line).substr(0, blank));
        ++checked;
        if (mine != theirs && ++mismatches <= 10) {
            ADD_FAILURE() << line.substr(0, blank) << ": ours " << mine << ", library " << theirs;
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::cout << checked << " addresses compared, " << mismatches << " disagreements, "
              << took.count() << " s\n";
    EXPECT_GT(checked, kReplayRandom);
    EXPECT_TRUE(ours.ui().shown.empty());
}

TEST(OracleReplay, AnswersOfTheLibraryAgree) {
    IndexLookup ours(fullName(programDir(), "GeoIP.dat"));
    replay(NETSORTER_ORACLE_CASES, "GeoIP.dat", ours);
}

TEST(OracleReplay, Ipv6AnswersOfTheLibraryAgree) {
    IndexLookup ours(fullName(programDir(), "GeoIP.dat"), fullName(programDir(), "GeoIPv6.dat"));
    replay(NETSORTER_ORACLE_CASES6, "GeoIPv6.dat", ours);
}

}  // namespace
}  // namespace netsorter::oracle
