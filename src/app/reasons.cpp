#include "app/reasons.h"

#include <string_view>
#include <vector>

namespace netsorter {
namespace {

// The core's reasons, each with its Russian; "{}" stands for a part that varies (a number,
// a library's text), kept in the same order.
struct Reason {
    std::string_view english;
    std::string_view russian;
};
constexpr Reason kReasons[] = {
    {"not a country database (neither a MaxMind DB nor a GeoIP country edition)",
     "это не база стран (ни MaxMind DB, ни база стран GeoIP)"},
    {"not a regular file", "это не обычный файл"},
    {"larger than {} MiB", "файл больше {} МиБ"},
    {"cannot be read whole", "файл не читается целиком"},
    {"refused at line {}", "файл отклонён на строке {}"},
    {"it is in UTF-32; give it in UTF-8, or in UTF-16 with a byte-order mark",
     "файл в кодировке UTF-32; сохраните его в UTF-8 или в UTF-16 с меткой порядка байтов"},
    {"it looks like UTF-16 without a byte-order mark; give it in UTF-8, or in UTF-16 with the "
     "mark",
     "файл похож на UTF-16 без метки порядка байтов; сохраните его в UTF-8 или в UTF-16 с "
     "меткой"},
    {"not a MaxMind DB: {}", "это не база MaxMind DB: {}"},
    {"larger than a MaxMind DB can be (4 GiB)",
     "файл больше, чем может быть база MaxMind DB (4 ГиБ)"},
    {"the search tree of {} nodes does not fit in the file",
     "дерево поиска из {} узлов не помещается в файле"},
    {"no address has a country code (country_code or country.iso_code) in it",
     "ни у одного адреса нет кода страны (country_code или country.iso_code)"},
    {"no address has an owner (autonomous_system_number or autonomous_system_organization) in it",
     "ни у одного адреса нет владельца (autonomous_system_number или "
     "autonomous_system_organization)"},
    {"the search tree goes on past {} bits (node {})",
     "дерево поиска продолжается дальше {} бит (узел {})"},
    {"the search tree leads back to its root", "дерево поиска ведёт обратно к корню"},
    {"the search tree reaches its {} nodes far more often than a tree does",
     "дерево поиска приходит в свои {} узлов гораздо чаще, чем это бывает у дерева"},
    {"the search tree cannot be read: {}", "дерево поиска не читается: {}"},
    {"the search tree points into the separator before the data",
     "дерево поиска указывает в разделитель перед данными"},
    {"the search tree points past the data section", "дерево поиска указывает за раздел данных"},
    {"the record at data offset {} cannot be read: {}",
     "запись со смещением {} в данных не читается: {}"},
    {"the record at data offset {} is not a map",
     "запись со смещением {} в данных не является словарём"},
    {"more than {} different records", "больше {} разных записей"},
    {"another update is running (it holds {})", "уже идёт другое обновление (занят файл {})"},
    {"cannot download: the server answered {}", "не удалось скачать: сервер ответил {}"},
    {"cannot download: {}", "не удалось скачать: {}"},
    {"cannot fetch the checksum list {}: {}", "не удалось получить список контрольных сумм {}: {}"},
    {"the checksum list {} names no {}", "в списке контрольных сумм {} нет файла {}"},
    {"the file's SHA-256 is {}, the checksum list says {}",
     "SHA-256 файла {}, а в списке контрольных сумм {}"},
    {"cannot read {}: {}", "не удалось прочитать {}: {}"},
};

// The parts of text that stand for the pattern's "{}", or false when text does not match.
bool match(std::string_view pattern, std::string_view text, std::vector<std::string_view>& parts) {
    parts.clear();
    for (;;) {
        const std::size_t hole = pattern.find("{}");
        if (!text.starts_with(pattern.substr(0, hole))) {
            return false;
        }
        if (hole == std::string_view::npos) {
            return text.size() == pattern.size();
        }
        text.remove_prefix(hole);
        pattern.remove_prefix(hole + 2);
        // A part runs up to the next fixed piece; the last one to the end.
        const std::string_view next = pattern.substr(0, pattern.find("{}"));
        const std::size_t end =
            next.empty() ? text.size()
                         : (pattern.find("{}") == std::string_view::npos ? text.rfind(next)
                                                                         : text.find(next));
        if (end == std::string_view::npos) {
            return false;
        }
        parts.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
}

}  // namespace

std::string russianReason(const std::string& reason) {
    std::vector<std::string_view> parts;
    for (const Reason& r : kReasons) {
        if (!match(r.english, reason, parts)) {
            continue;
        }
        std::string out;
        std::string_view russian = r.russian;
        for (const std::string_view part : parts) {
            const std::size_t hole = russian.find("{}");
            out.append(russian.substr(0, hole)).append(part);
            russian.remove_prefix(hole + 2);
        }
        return out.append(russian);
    }
    return reason;
}

}  // namespace netsorter
