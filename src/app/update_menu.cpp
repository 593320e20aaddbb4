// "Обновить базы" and "Обновлять базы автоматически" of the menu "Настройки": the core's
// updater in a worker thread, the window free meanwhile.
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>

#include "app/form1.h"
#include "app/reasons.h"
#include "app/resource.h"
#include "common/files.h"
#include "common/wide.h"
#include "desktop/settings.h"
#include "update/updater.h"

namespace netsorter {
namespace {

constexpr unsigned long kDay = 24 * 60 * 60;
constexpr unsigned long kUpdateEvery = 7 * kDay;
// Failures of the automatic update are told once updates have failed this long.
constexpr unsigned long kFailuresToldAfter = 14 * kDay;

unsigned long now() {
    return static_cast<unsigned long>(std::time(nullptr));
}

const char* russianKind(DatabaseKind kind) {
    return kind == DatabaseKind::Country ? "страны" : "владельцы сетей";
}

// An outcome's reason without the kind and URL it starts with: the kind is said in Russian.
std::string failureText(const update::Outcome& outcome) {
    const std::size_t start = outcome.reason.find("): ");
    const std::string why =
        start == std::string::npos ? outcome.reason : outcome.reason.substr(start + 3);
    return std::string(russianKind(outcome.kind)) + ": " + russianReason(why);
}

std::string reportText(const update::Report& report) {
    using State = update::Outcome::State;
    std::string done;
    std::string failed;
    for (const update::Outcome& o : report.outcomes) {
        if (o.state == State::Failed) {
            failed += "\r\n" + failureText(o);
        } else {
            done += std::string(done.empty() ? "" : ", ") + russianKind(o.kind) + " — " +
                    (o.state == State::Updated ? o.newDate : "уже актуальна");
        }
    }
    for (const std::string& problem : report.problems) {
        failed += "\r\n" + russianReason(problem);
    }
    if (failed.empty()) {
        return "Базы обновлены: " + done;
    }
    return "Не удалось обновить базы:" + failed + (done.empty() ? "" : "\r\nОстальные: " + done);
}

}  // namespace

// Shared with the worker, which may outlive the window.
struct Form1::UpdateRun {
    std::mutex lock;
    std::optional<update::Report> report;
};

void Form1::mnuSettingsUpdate_Click() {
    startUpdate(false);
}

void Form1::mnuSettingsAutoUpdate_Click() {
    autoUpdateOn_ = !autoUpdateOn_;
    settings::storeAutoUpdate(autoUpdateOn_);
    setMenuCheck(IDM_SETTINGS_AUTO_UPDATE, autoUpdateOn_);
    autoUpdateIfDue(true);
}

void Form1::autoUpdateIfDue(bool atStart) {
    if (!autoUpdateOn_) {
        KillTimer(hwnd_, kUpdateTimer);
        return;
    }
    if (atStart) {
        SetTimer(hwnd_, kUpdateTimer, kDay * 1000, nullptr);
    }
    // At start the weekly turn; while running, every day.
    const unsigned long last = settings::lastUpdate();
    if (!atStart || last == 0 || now() - last >= kUpdateEvery) {
        startUpdate(true);
    }
}

void Form1::startUpdate(bool silent) {
    if (updateRun_) {
        return;  // one update at a time; its end is told
    }
    update::Request request;
    request.dataDir = engines_.dataDir();
    request.userDir = userDataDir();
    request.sourcesPath = fullName(request.dataDir, "sources.txt");
    updateRun_ = std::make_shared<UpdateRun>();
    updateSilent_ = silent;
    std::thread([run = updateRun_, request, hwnd = hwnd_] {
        const std::unique_ptr<update::Transport> transport = update::systemTransport();
        update::Report report = update::updateDatabases(request, *transport);
        {
            const std::lock_guard<std::mutex> held(run->lock);
            run->report = std::move(report);
        }
        PostMessageW(hwnd, kUpdateDone, 0, 0);
    }).detach();
}

void Form1::updateDone() {
    if (!updateRun_) {
        return;
    }
    update::Report report;
    {
        const std::lock_guard<std::mutex> held(updateRun_->lock);
        if (!updateRun_->report) {
            return;
        }
        report = std::move(*updateRun_->report);
    }
    updateRun_.reset();

    // A database replaced answers the next check, unless the user chose one by hand; a check
    // under way keeps the tables it started with.
    bool updated = false;
    for (const update::Outcome& o : report.outcomes) {
        if (o.state != update::Outcome::State::Updated) {
            continue;
        }
        updated = true;
        const std::wstring chosen = o.kind == DatabaseKind::Country ? settings::countryDatabase()
                                                                    : settings::ownerDatabase();
        if (chosen.empty()) {
            engines_.chooseDatabase(o.kind, o.file, GeoAccess::PositionedReads);
        }
    }
    const unsigned long last = settings::lastUpdate();
    if (report.ok()) {
        settings::storeLastUpdate(now());
    }
    if (updateSilent_ && !updated &&
        (report.ok() || (last != 0 && now() - last <= kFailuresToldAfter))) {
        return;
    }
    const std::string text = reportText(report);
    const bool failed = !report.ok();
    if (!IsWindowVisible(hwnd_)) {
        showBalloon(toWide(text), L"Netsorter");
    } else {
        messageBox(text, L"Netsorter", MB_OK | (failed ? MB_ICONERROR : MB_ICONINFORMATION));
    }
}

}  // namespace netsorter
