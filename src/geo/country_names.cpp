#include "geo/country_names.h"

#include "common/text.h"

namespace netsorter {

Problem DuplicateLine::question() const {
    return {Problem::Kind::Question,
            Problem::Subject::Countries,
            path,
            {"Дублирующийся номер (" + key + ")", "Файл " + path, "Строка " + std::to_string(line),
             "Продолжить обработку файла?"}};
}

void CountryNames::create() {
    if (!table_) {
        table_.emplace();
        byCode_.clear();
    }
    byIndexValid_ = false;
}

Status CountryNames::load(std::string_view text, const std::string& path, const AskToGoOn& ask,
                          const Yield& yield) {
    create();
    size_t number = 0;
    size_t refused = 0;  // the line the user refused the file at
    forEachLine(text, [&](std::string_view line) {
        ++number;
        if (refused) {
            return;  // nothing after the refused line is read
        }
        if (!line.empty() && line[0] != '#') {
            const size_t tab = line.find('\t');
            const std::string_view key = line.substr(0, tab);
            // A nested load, refused by the user, may have dropped the table meanwhile.
            create();
            bool stored = false;
            if (tab != std::string_view::npos) {
                const auto [entry, added] = table_->emplace(foldCase(key), line.substr(tab + 1));
                stored = added;
                if (added) {
                    const std::string& description = entry->second;
                    byCode_.emplace(foldCase(description.substr(0, description.find('\t'))),
                                    &description);
                }
            }
            if (!stored && ask && !ask({std::string(key), path, number})) {
                table_.reset();
                byCode_.clear();
                byIndexValid_ = false;
                ok_ = false;
                refused = number;
                return;
            }
        }
        yieldOnce(yield);
    });
    if (refused != 0) {
        return Status::failure("refused at line " + std::to_string(refused));
    }
    ok_ = true;
    return Status::success();
}

const std::string* CountryNames::byCode(std::string_view code) const {
    const auto found = byCode_.find(foldCase(code));
    return found == byCode_.end() ? nullptr : found->second;
}

const std::string* CountryNames::byIndex(std::uint32_t index) const {
    if (!table_ || index >= byIndex_.size()) {
        return nullptr;
    }
    if (!byIndexValid_) {
        for (std::uint32_t i = 1; i < byIndex_.size(); ++i) {
            const auto found = table_->find(std::to_string(i));
            byIndex_[i] = found == table_->end() ? nullptr : &found->second;
        }
        byIndex_[0] = nullptr;
        byIndexValid_ = true;
    }
    return byIndex_[index];
}

}  // namespace netsorter
