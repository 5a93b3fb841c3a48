#include <windows.h>

#include <string>

#include "platform/thread_name.h"

namespace platform {

// SetThreadDescription came with Windows 10 1607; older systems go without thread names.
void NameThisThread(const char* name) {
    using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto describe = reinterpret_cast<Describe>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!describe)
        return;
    const std::string text(name);
    describe(GetCurrentThread(), std::wstring(text.begin(), text.end()).c_str());
}

}  // namespace platform
