// The automation class "Netsorter.qvClicker": served by this process to others (the
// browser's menu script), one method checkLink(url) that checks the link in the window.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <wrl/client.h>

#include <string>

#include "common/problem.h"
#include "desktop/com.h"

namespace netsorter::automation {

using com::CLSID_qvClicker;
using com::kClsidText;
using com::kProgId;

// What the class needs of the window that serves it.
class LinkTarget {
  public:
    virtual ~LinkTarget() = default;
    // False once the window has been closed and the process is ending.
    virtual bool alive() const = 0;
    // Checks the link as a request from outside the window (UTF-8); a failure's reason goes
    // back to the caller.
    virtual Status checkLink(const std::string& url) = 0;
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
    Microsoft::WRL::ComPtr<IClassFactory> factory_;
};

}  // namespace netsorter::automation
