#include <windows.h>
// objbase.h and shellapi.h need the types of windows.h first.
#include <objbase.h>
#include <shellapi.h>

#include "open_document.h"
#include "wide_text.h"

namespace lumen {

void openDocument(const std::string& path) {
    // Some handlers of "open" are COM objects that expect an apartment.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::ShellExecuteW(nullptr, L"open", platform::wideFromUtf8(path).c_str(), nullptr, nullptr,
                    SW_SHOWNORMAL);
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
}

}  // namespace lumen
