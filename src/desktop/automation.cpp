#include "desktop/automation.h"

#include <oleauto.h>

#include <atomic>
#include <exception>

#include "common/wide.h"
#include "desktop/win.h"

namespace netsorter::automation {
namespace {

constexpr DISPID kDispidCheckLink = 1;

// IUnknown for the two COM objects: reference counting, where the count's own value
// decides when to go (never a second read), and QueryInterface for IUnknown and the one
// interface the object implements.
template <class Interface>
class RefCounted : public Interface {
  public:
    explicit RefCounted(REFIID iid) : iid_(iid) {}
    virtual ~RefCounted() = default;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

  private:
    const IID& iid_;
    std::atomic<ULONG> refs_{1};
};

class qvClicker final : public RefCounted<IDispatch> {
  public:
    explicit qvClicker(LinkTarget& target) : RefCounted(IID_IDispatch), target_(target) {}

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return DISP_E_BADINDEX;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count == 0) {
            return E_INVALIDARG;
        }
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
        }
        // Scripts spell names in any case.
        if (names[0] != nullptr && lstrcmpiW(names[0], L"checkLink") == 0) {
            ids[0] = kDispidCheckLink;
        } else {
            hr = DISP_E_UNKNOWNNAME;
        }
        return count > 1 ? DISP_E_UNKNOWNNAME : hr;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* error, UINT* argError) override {
        if (id != kDispidCheckLink || (flags & DISPATCH_METHOD) == 0) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (params == nullptr || params->cArgs != 1) {
            return DISP_E_BADPARAMCOUNT;
        }
        if (params->cNamedArgs != 0) {
            return DISP_E_NONAMEDARGS;
        }
        com::Variant text;
        // Whatever the caller passed (by reference, a number, ...) is taken as its text;
        // what has no text (Null, an object) is the caller's error.
        HRESULT hr = VariantCopyInd(text.get(), &params->rgvarg[0]);
        if (SUCCEEDED(hr)) {
            hr = VariantChangeType(text.get(), text.get(), 0, VT_BSTR);
        }
        if (FAILED(hr)) {
            if (argError != nullptr) {
                *argError = 0;
            }
            return hr;
        }
        const std::string url = fromWide({V_BSTR(text.get()), SysStringLen(V_BSTR(text.get()))});
        if (!target_.alive()) {
            return RPC_E_DISCONNECTED;  // the window has been closed; the process is ending
        }
        try {
            if (const Status checked = target_.checkLink(url); !checked) {
                return fail(error, toWide(checked.reason()));
            }
        } catch (const std::exception& e) {
            return fail(error, toWide(e.what()));
        } catch (...) {
            return fail(error, L"Непредвиденная ошибка");
        }
        if (result != nullptr) {
            VariantInit(result);
        }
        return S_OK;
    }

  private:
    LinkTarget& target_;

    static HRESULT fail(EXCEPINFO* error, const std::wstring& description) {
        if (error != nullptr) {
            *error = EXCEPINFO{};
            error->bstrSource = SysAllocString(kProgId);
            error->bstrDescription = SysAllocString(description.c_str());
            error->scode = E_FAIL;
        }
        return DISP_E_EXCEPTION;
    }
};

class ClassFactory final : public RefCounted<IClassFactory> {
  public:
    explicit ClassFactory(LinkTarget& target) : RefCounted(IID_IClassFactory), target_(target) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        qvClicker* object = new (std::nothrow) qvClicker(target_);
        if (object == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = object->QueryInterface(riid, out);
        object->Release();
        return hr;
    }

    // The process lives as long as its window, whatever the clients hold.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    LinkTarget& target_;
};

const std::wstring kClsidKey = std::wstring(L"CLSID\\") + kClsidText;

bool writeClasses(HKEY classes, const std::wstring& exePath) {
    const win::UniqueKey clsid = win::createKey(classes, kClsidKey, KEY_WRITE);
    const win::UniqueKey server =
        win::createKey(classes, kClsidKey + L"\\LocalServer32", KEY_WRITE);
    const win::UniqueKey progIdOfClass =
        win::createKey(classes, kClsidKey + L"\\ProgID", KEY_WRITE);
    const win::UniqueKey progId = win::createKey(classes, kProgId, KEY_WRITE);
    const win::UniqueKey classOfProgId =
        win::createKey(classes, std::wstring(kProgId) + L"\\CLSID", KEY_WRITE);
    return clsid && server && progIdOfClass && progId && classOfProgId &&
           win::writeString(clsid.get(), L"", L"qvClicker") &&
           win::writeString(server.get(), L"", L"\"" + exePath + L"\"") &&
           win::writeString(progIdOfClass.get(), L"", kProgId) &&
           win::writeString(progId.get(), L"", L"qvClicker") &&
           win::writeString(classOfProgId.get(), L"", kClsidText);
}

void removeClasses(HKEY root, const std::wstring& classesPath) {
    const win::UniqueKey classes = win::openKey(root, classesPath, KEY_ALL_ACCESS);
    if (!classes) {
        return;
    }
    RegDeleteTreeW(classes.get(), kClsidKey.c_str());
    // The programmatic name goes only while it still names our class.
    const std::wstring ownerKey = std::wstring(kProgId) + L"\\CLSID";
    bool ours = false;
    if (const win::UniqueKey owner = win::openKey(classes.get(), ownerKey)) {
        ours = lstrcmpiW(win::readString(owner.get(), L"").value_or(L"").c_str(), kClsidText) == 0;
    }
    if (ours) {
        RegDeleteTreeW(classes.get(), kProgId);
    }
}

}  // namespace

bool registerServer(const std::wstring& exePath) {
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        if (const win::UniqueKey classes = win::createKey(root, L"Software\\Classes", KEY_WRITE)) {
            if (writeClasses(classes.get(), exePath)) {
                return true;
            }
        }
    }
    return false;
}

void unregisterServer() {
    removeClasses(HKEY_LOCAL_MACHINE, L"Software\\Classes");
    removeClasses(HKEY_CURRENT_USER, L"Software\\Classes");
}

ClassObjectRegistration::ClassObjectRegistration(LinkTarget& target) {
    // The factory is born with one reference, which factory_ takes over.
    factory_.Attach(new (std::nothrow) ClassFactory(target));
    if (factory_ &&
        FAILED(CoRegisterClassObject(CLSID_qvClicker, factory_.Get(), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookie_))) {
        cookie_ = 0;
    }
}

ClassObjectRegistration::~ClassObjectRegistration() {
    if (cookie_ != 0) {
        CoRevokeClassObject(cookie_);
    }
}

}  // namespace netsorter::automation
