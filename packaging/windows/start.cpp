// tavro-kx42h-start.exe: the Start-menu entry and the desktop shortcut start the station
// through it. The station reads and writes auto.ini (and keeps its recordings) in its working
// folder, so the shortcut gives it a folder of the user's own, %LOCALAPPDATA%\tavro-kx42h,
// created on the first start, and never the program folder, which a user may not write.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

std::wstring LocalAppData() {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path)))
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

// The folder this launcher was started from: the station stands beside it.
std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    return path.substr(0, path.find_last_of(L'\\'));
}

int Fail(const std::wstring& what) {
    const std::wstring text = what + L" (код ошибки " + std::to_wstring(GetLastError()) + L")";
    MessageBoxW(nullptr, text.c_str(), L"Ошибка!", MB_OK | MB_ICONWARNING);
    return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::wstring base = LocalAppData();
    if (base.empty())
        return Fail(L"Не найдена папка данных пользователя");
    const std::wstring work = base + L"\\tavro-kx42h";
    if (!CreateDirectoryW(work.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Fail(L"Не удалось создать папку " + work);

    std::wstring station = L"\"" + ProgramFolder() + L"\\tavro-kx42h.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, station.data(), nullptr, nullptr, FALSE, 0, nullptr, work.c_str(),
                        &startup, &process))
        return Fail(L"Не удалось запустить " + station);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
