#include "desktop/com.h"

namespace netsorter::com {

Variant::Variant(std::wstring_view text) {
    VariantInit(&value_);
    if (const BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        V_VT(&value_) = VT_BSTR;
        V_BSTR(&value_) = b;
    }
}

}  // namespace netsorter::com
