#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/problem.h"
#include "common/text.h"

namespace netsorter {
namespace {

TEST(DecodeText, KeepsUtf8AndReadsEverythingElseAsCp1251) {
    struct Row {
        std::string bytes;
        std::string expected;
    };
    const Row rows[] = {
        {"", ""},
        {"10.0.0.0/8\r\n", "10.0.0.0/8\r\n"},
        {"# Россия", "# Россия"},
        {"\xEF\xBB\xBF# Россия", "# Россия"},  // the byte-order mark of Notepad
        {"\xEF\xBB\xBF", ""},
        {"\xD0\xEE\xF1\xF1\xE8\xFF", "Россия"},  // Windows-1251
        {"# \xD0\xEE\xF1\xF1\xE8\xFF\r\n1.2.3.4", "# Россия\r\n1.2.3.4"},
        {"\xA8\xEB\xEA\xE0 \xB8", "Ёлка ё"},
        {"\xC0\xDF\xE0\xFF", "АЯая"},
        {"\xB9 \x96 \x88", "№ – €"},
        {"\x98", "\xC2\x98"},                      // the one byte without a character
        {"\xE2\x82", "в‚"},                        // cut-off UTF-8 is not UTF-8
        {"\xC0\x80", "А\xD0\x82"},                 // neither is an overlong form
        {"\xED\xA0\x80", "н\xC2\xA0Ђ"},            // nor an encoded surrogate
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // four-byte UTF-8 stays
    };
    for (const Row& row : rows) {
        EXPECT_EQ(decodeText(row.bytes), row.expected) << "bytes: " << row.bytes;
    }
}

TEST(SplitLines, EndsLinesAtCrLfLoneCrAndLoneLf) {
    using Lines = std::vector<std::string>;
    struct Row {
        std::string text;
        Lines expected;
    };
    const Row rows[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n", {"a", ""}},
        {"a\r\n", {"a", ""}},
        {"a\r", {"a", ""}},
        {"\n", {"", ""}},
        {"\r\n\r\n", {"", "", ""}},
        {"a\n\rb", {"a", "", "b"}},    // LF then CR is two line ends
        {"a\r\r\nb", {"a", "", "b"}},  // a lone CR, then CR LF
        {" a \t", {" a \t"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(splitLines(row.text), row.expected) << "text: " << row.text;
    }
}

TEST(TrimSpaces, RemovesOnlyTheSpaceCharacter) {
    struct Row {
        std::string text;
        std::string expected;
    };
    const Row rows[] = {
        {"", ""},
        {"   ", ""},
        {"  a b  ", "a b"},
        {"\ta\t", "\ta\t"},
        {" \t ", "\t"},
        {" 10.1.2.3\r\n", "10.1.2.3\r\n"},
        {"\xC2\xA0x", "\xC2\xA0x"},  // a no-break space is not a blank here
    };
    for (const Row& row : rows) {
        EXPECT_EQ(trimSpaces(row.text), row.expected) << "text: [" << row.text << "]";
    }
}

TEST(FoldCase, LowersAsciiAndCyrillic) {
    struct Row {
        std::string text;
        std::string expected;
    };
    const Row rows[] = {
        {"", ""},
        {"RU Ru ru 42", "ru ru ru 42"},
        {"АБВГДЕЖЗИЙКЛМНОП", "абвгдежзийклмноп"},
        {"РСТУФХЦЧШЩЪЫЬЭЮЯ", "рстуфхцчшщъыьэюя"},
        {"ЁЛКА", "ёлка"},
        {"ЀЁЂЃЄЅІЇЈЉЊЋЌЍЎЏ", "ѐёђѓєѕіїјљњћќѝўџ"},
        {"Ґ", "ґ"},
        {"россия ёж", "россия ёж"},
        {"ÄÖ €Z", "ÄÖ €z"},  // other scripts stay; the letter after them is still folded
        {"Z\xD0", "z\xD0"},  // a cut-off character at the end
    };
    for (const Row& row : rows) {
        EXPECT_EQ(foldCase(row.text), row.expected) << "text: " << row.text;
    }
}

TEST(CollapsePairs, ReplacesNonOverlappingPairsLeftToRight) {
    struct Row {
        std::string text;
        char c;
        std::string expected;
    };
    const Row rows[] = {
        {"", '\\', ""},
        {"a\\b", '\\', "a\\b"},
        {"a\\\\b", '\\', "a\\b"},
        {"a\\\\\\b", '\\', "a\\\\b"},  // three become two
        {"\\\\\\\\", '\\', "\\\\"},    // four become two
        {"a//b", '/', "a/b"},
        {"a\\\\b", '/', "a\\\\b"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(collapsePairs(row.text, row.c), row.expected) << "text: " << row.text;
    }
}

TEST(FullName, JoinsDirectoryAndNameWithOneSeparator) {
    struct Row {
        std::string dir;
        std::string name;
        char separator;
        std::string expected;
    };
    const Row rows[] = {
        {"C:\\Program Files\\Netsorter", "nets.txt", '\\',
         "C:\\Program Files\\Netsorter\\nets.txt"},
        {"C:\\", "nets.txt", '\\', "C:\\nets.txt"},
        {"C:\\Netsorter\\", "nets.txt", '\\', "C:\\Netsorter\\nets.txt"},
        {"C:\\Netsorter", "D:\\data\\GeoIP.dat", '\\', "D:\\data\\GeoIP.dat"},
        {"C:\\Netsorter", "D:GeoIP.dat", '\\', "D:GeoIP.dat"},
        {"C:\\a\\\\\\b", "nets.txt", '\\', "C:\\a\\\\b\\nets.txt"},
        {"\\\\server\\share", "nets.txt", '\\', "\\\\server\\share\\nets.txt"},
        {"\\\\server\\share\\", "nets.txt", '\\', "\\\\server\\share\\nets.txt"},
        {"/usr/share/netsorter", "nets.txt", '/', "/usr/share/netsorter/nets.txt"},
        {"/", "nets.txt", '/', "/nets.txt"},
        {"/opt/netsorter/", "nets.txt", '/', "/opt/netsorter/nets.txt"},
        {"/opt/netsorter", "/srv/GeoIP.dat", '/', "/srv/GeoIP.dat"},
        {"/opt/netsorter", "C:GeoIP.dat", '/', "/opt/netsorter/C:GeoIP.dat"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(fullName(row.dir, row.name, row.separator), row.expected)
            << "dir: " << row.dir << " name: " << row.name;
    }
}

}  // namespace
}  // namespace netsorter

namespace netsorter {
namespace {

Result<std::unique_ptr<int>> movable(const Status& status) {
    if (!status) {
        return status;
    }
    return std::make_unique<int>(7);
}

// A Result holds exactly one of its value and its Problem, keeps a value that can only be
// moved, and turns into the Status its callers pass on, reason and all.
TEST(Result, HoldsAValueOrTheProblemWhyNot) {
    Result<std::unique_ptr<int>> value = movable(Status::success());
    ASSERT_TRUE(value);
    EXPECT_EQ(value.reason(), "");
    const std::unique_ptr<int> taken = std::move(*value);
    EXPECT_EQ(*taken, 7);

    const Result<std::string> refused =
        Problem::failure(Problem::Subject::Nets, "/data/nets.txt", "Permission denied");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.problem().object, "/data/nets.txt");
    EXPECT_EQ(refused.reason(), "Permission denied");
    const Status passedOn = refused.status();
    EXPECT_FALSE(passedOn);
    EXPECT_EQ(passedOn.problem().subject, Problem::Subject::Nets);
    EXPECT_EQ(movable(passedOn).reason(), "Permission denied");
}

}  // namespace
}  // namespace netsorter
