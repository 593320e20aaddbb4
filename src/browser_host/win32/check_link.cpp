#include "browser_host/win32/check_link.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>

#include "browser_host/native_messaging.h"
#include "common/wide.h"
#include "desktop/com.h"

namespace netsorter::browser_host {
namespace {

// The description the server gave with DISP_E_EXCEPTION, with its BSTRs freed.
class ExceptionInfo {
  public:
    ExceptionInfo() = default;
    ~ExceptionInfo() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;

    EXCEPINFO* get() { return &info_; }
    std::string description() const {
        return info_.bstrDescription == nullptr
                   ? std::string()
                   : fromWide(
                         std::wstring(info_.bstrDescription, SysStringLen(info_.bstrDescription)));
    }

  private:
    EXCEPINFO info_{};
};

std::string failure(Error error, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    // The system has no text for many COM codes and then gives only the number.
    const std::string reason = systemMessage(static_cast<unsigned long>(hr));
    return errorAnswer(error, reason.starts_with("error ") ? code : reason + " (" + code + ")");
}

}  // namespace

ComApartment::ComApartment()
    : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ComApartment::~ComApartment() {
    if (initialized_) {
        CoUninitialize();
    }
}

std::string checkLink(const std::string& address) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(com::kProgId, &clsid);
    if (FAILED(hr)) {
        return failure(Error::NotRegistered, hr);
    }
    Microsoft::WRL::ComPtr<IDispatch> clicker;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&clicker));
    if (FAILED(hr)) {
        return failure(Error::Unreachable, hr);
    }
    wchar_t name[] = L"checkLink";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    hr = clicker->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return failure(Error::CallFailed, hr);
    }
    com::Variant argument(toWide(address));
    if (!argument.holdsText()) {
        return failure(Error::CallFailed, E_OUTOFMEMORY);
    }
    DISPPARAMS params{argument.get(), nullptr, 1, 0};
    com::Variant result;
    ExceptionInfo exception;
    UINT badArgument = 0;
    hr = clicker->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                         exception.get(), &badArgument);
    if (hr == DISP_E_EXCEPTION && !exception.description().empty()) {
        return errorAnswer(Error::Refused, exception.description());
    }
    if (FAILED(hr)) {
        return failure(Error::CallFailed, hr);
    }
    return "{\"ok\":true}";
}

}  // namespace netsorter::browser_host
