// The main window: owner of the program's state, host of every check, and the target of
// every user-interface event (buttons, menus, timers, tray notifications, automation).
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>

#include "app/menu.h"
#include "check/check.h"
#include "check/engines.h"
#include "common/files.h"
#include "desktop/automation.h"
#include "desktop/key_chord.h"
#include "desktop/tray.h"
#include "desktop/win.h"

namespace netsorter {

// One control of the main window, its place in twips relative to its container.
struct Placement {
    int id;
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;
    int container;  // 0: the window itself
    int left, top, width, height;
};

// The main window's controls in the order of creation, which is also the tab order.
std::span<const Placement> windowLayout();

class Form1 final : public automation::LinkTarget {
  public:
    // The data files are read from dataDir; the tray icon goes through notifyIcon; names
    // are resolved by the system unless a resolver is given.
    Form1(HINSTANCE instance, std::wstring commandLine, std::string dataDir = programDir(),
          NotifyIconFn notifyIcon = Shell_NotifyIconW,
          std::unique_ptr<NameResolver> resolver = nullptr);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Creates the window, which reads the settings and loads the data files. False when
    // start-up failed; startupError() then says why.
    bool create();
    const std::wstring& startupError() const { return startupError_; }
    // The entry's request to show the window; the tray undoes it while stayHidden is set.
    void show();
    HWND hwnd() const { return hwnd_; }
    // Keyboard navigation of the message loop (Tab, Enter, access keys).
    bool preTranslateMessage(MSG& msg);

    bool Loaded = false;

    // automation::LinkTarget: the automation class's one method loads the window if
    // needed, then checks as a request from outside the window.
    bool alive() const override { return hwnd_ != nullptr; }
    Status checkLink(const std::string& url) override;

    // Checks url (or, when it is empty, the text already in the address box) and shows the
    // result in the boxes, each as soon as it is known, and, while the program lives in the
    // tray, in the balloon. FromIE is true for requests from outside the window: the
    // browsers and the clipboard.
    void checkUrl(const std::string& url, bool FromIE);

    // Lets pending events run once; anything, a whole check included, may run inside.
    void doEvents();

    // What the window checks with.
    Engines& engines() { return engines_; }

  private:
    friend std::span<const MenuCommand> menuCommands();

    enum Timer : UINT_PTR { Timer1 = 1, Timer2 = 2, Timer3 = 3 };
    // Who asks the window to close (Form_QueryUnload): only the user's own close sends it
    // to the tray.
    enum UnloadMode {
        ClosedByUser = 0,
        ClosedByProgram = 1,
        SessionEnding = 2,
        ClosedByOtherProgram = 3
    };

    HINSTANCE instance_;
    std::wstring commandLine_;
    HWND hwnd_ = nullptr;
    HWND picNotifier_ = nullptr;
    win::UniqueMenu mnuTray_;
    win::UniqueFont font_;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    UINT dpi_ = 96;
    UINT taskbarCreated_ = 0;

    Engines engines_;
    mdlTray tray_;

    win::KeyChord ctrlC_{VK_CONTROL, 'C'};
    bool stayHidden_ = false;
    bool interceptOn_ = false;
    bool autostartOn_ = false;
    bool loading_ = false;
    bool timerOn_[4] = {};
    std::wstring startupError_;
    // The databases chosen earlier that could not be opened at start-up, and why; told once
    // the window knows whether it starts in the tray.
    std::string refusedChoice_;
    // The whole text of each result box that is too narrow for it.
    win::UniqueWindow tooltip_;

    static LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK notifierProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void onCommand(UINT id);

    void createControls();
    void layoutControls();
    void applyFont();
    win::UniqueMenu buildMenuBar();
    HWND control(int id) const { return GetDlgItem(hwnd_, id); }
    std::string addressText() const;
    void setAddressText(const std::string& text);
    std::string resultText(CheckField field) const;
    void setResultText(CheckField field, const std::string& text);
    // The box's tooltip holds its text when the box cuts it, and nothing otherwise.
    void updateTooltip(HWND box);
    // Every message box of the window goes through here.
    int messageBox(const std::string& text, const wchar_t* title, UINT flags) const;
    // A Problem in a box titled by its kind; a question is answered Yes (true) or No.
    bool showProblem(const Problem& problem);
    // The box of a failure nobody expected; the program goes on.
    void showFailure(const std::string& text);
    // The tray balloon, taken down by Timer1 after its lifetime.
    void showBalloon(const std::wstring& text, const std::wstring& title);
    void setMenuCheck(UINT id, bool checked);
    bool menuChecked(UINT id) const;
    void setTimerEnabled(Timer timer, bool on);
    bool timerEnabled(Timer timer) const { return timerOn_[timer]; }
    // Runs a handler; a failure nobody expected is shown to the user and the program keeps
    // running.
    template <class Handler>
    void guarded(Handler&& handler);

    // Start-up and shut-down. A start-up that cannot read nets.txt fails with the reason.
    Status Form_Initialize();
    Status Form_Load();
    void Form_Activate();
    // Answers whether the close is cancelled.
    bool Form_QueryUnload(UnloadMode mode);

    // Menu commands and other handlers
    void cmdCheck_Click();
    void mnuFileExit_Click();
    void mnuViewAllwaysOnTop_Click();
    void mnuViewToTray_Click();
    void mnuTrayOpen_Click();
    void picNotifier_MouseMove(UINT mouseMessage);
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void mnuSettingsIntercept_Click();
    void mnuSettingsAdd_Click();
    void mnuSettingsDel_Click();
    void mnuSettingsAddBrowsers_Click();
    void mnuSettingsDelBrowsers_Click();
    void mnuSettingsAutostart_Click();
    void mnuSettingsCountryDb_Click();
    void mnuSettingsOwnerDb_Click();
    // The file dialog of "База стран…" and "База владельцев сетей…", and the choice made.
    void chooseDatabaseFile(DatabaseKind kind);
    void mnuHelpAbout_Click();

    // Keeping the databases current: one update at a time in a worker thread, which posts
    // kUpdateDone when it ends; the databases it replaced answer from the next check on.
    static constexpr UINT kUpdateDone = WM_APP + 1;
    static constexpr UINT_PTR kUpdateTimer = 10;
    struct UpdateRun;
    void mnuSettingsUpdate_Click();
    void mnuSettingsAutoUpdate_Click();
    // silent: the automatic update, told only when it replaced a database or when updates
    // have failed for long.
    void startUpdate(bool silent);
    void updateDone();
    // At start and every day while the switch is on: an update when the last one that
    // succeeded is a week old.
    void autoUpdateIfDue(bool atStart);
    std::shared_ptr<UpdateRun> updateRun_;
    bool updateSilent_ = false;
    bool autoUpdateOn_ = false;
};

}  // namespace netsorter
