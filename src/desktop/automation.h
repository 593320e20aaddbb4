// The automation class "Netsorter.qvClicker": served by this process to others (the
// browser's menu script), one method checkLink(url) that checks the link in the window.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <string>

namespace netsorter::automation {

// {D4C90FFB-DAF6-42F3-8959-E44BB2726296}
inline constexpr CLSID CLSID_qvClicker = {
    0xd4c90ffb, 0xdaf6, 0x42f3, {0x89, 0x59, 0xe4, 0x4b, 0xb2, 0x72, 0x62, 0x96}};
inline constexpr wchar_t kProgId[] = L"Netsorter.qvClicker";
inline constexpr wchar_t kClsidText[] = L"{D4C90FFB-DAF6-42F3-8959-E44BB2726296}";

// What the class needs of the window that serves it.
class LinkTarget {
  public:
    virtual ~LinkTarget() = default;
    // False once the window has been closed and the process is ending.
    virtual bool alive() const = 0;
    // Checks the link as a request from outside the window (UTF-8).
    virtual void checkLink(const std::string& url) = 0;
};

// Writes the class and its programmatic name: per machine when this process may write
// there, else per user. The server's command line is the quoted path.
bool registerServer(const std::wstring& exePath);
// Removes what registerServer wrote, in both places, and nothing that belongs to others.
void unregisterServer();

// Offers the class to other processes for as long as the object lives.
class ClassObjectRegistration {
  public:
    explicit ClassObjectRegistration(LinkTarget& target);
    ~ClassObjectRegistration();
    ClassObjectRegistration(const ClassObjectRegistration&) = delete;
    ClassObjectRegistration& operator=(const ClassObjectRegistration&) = delete;

  private:
    DWORD cookie_ = 0;
    IUnknown* factory_ = nullptr;
};

}  // namespace netsorter::automation
