// COM pieces shared by the automation class that Netsorter.exe serves and by its client
// netsorter-host.exe: the class's names, spelled once, and a VARIANT cleared on every path
// out.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <string_view>

namespace netsorter::com {

// {D4C90FFB-DAF6-42F3-8959-E44BB2726296}
inline constexpr CLSID CLSID_qvClicker = {
    0xd4c90ffb, 0xdaf6, 0x42f3, {0x89, 0x59, 0xe4, 0x4b, 0xb2, 0x72, 0x62, 0x96}};
inline constexpr wchar_t kClsidText[] = L"{D4C90FFB-DAF6-42F3-8959-E44BB2726296}";
inline constexpr wchar_t kProgId[] = L"Netsorter.qvClicker";

class Variant {
  public:
    Variant() { VariantInit(&value_); }
    // A text (VT_BSTR); empty (VT_EMPTY) when there is no memory for it.
    explicit Variant(std::wstring_view text);
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT* get() { return &value_; }
    bool holdsText() const { return V_VT(&value_) == VT_BSTR; }

  private:
    VARIANT value_;
};

}  // namespace netsorter::com
