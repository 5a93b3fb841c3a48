#include <windows.h>
#include <io.h>
#include <tlhelp32.h>

#include <csignal>
#include <cstdio>
#include <cwchar>

#include "tests/reliability/process_watch.h"

namespace reliability {

namespace {

const std::string* crashNote = nullptr;

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
    if (crashNote)
        WriteToStandardError(*crashNote);
    char where[96];
    const int n = std::snprintf(where, sizeof where, "exception 0x%08lx at %p\n",
                                exception->ExceptionRecord->ExceptionCode,
                                exception->ExceptionRecord->ExceptionAddress);
    WriteToStandardError(std::string(where, n > 0 ? n : 0));
    return EXCEPTION_CONTINUE_SEARCH;
}

void OnAbort(int) {
    if (crashNote)
        WriteToStandardError(*crashNote);
}

// GetThreadDescription, which the compiler's headers do not declare yet.
using Description = HRESULT(WINAPI*)(HANDLE, PWSTR*);
const Description getDescription = reinterpret_cast<Description>(reinterpret_cast<void*>(
    GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));

bool IsWorker(DWORD threadId) {
    const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
    if (!thread)
        return false;  // it has just ended
    PWSTR name = nullptr;
    const bool worker =
        getDescription && SUCCEEDED(getDescription(thread, &name)) && name &&
        (std::wcscmp(name, L"TCommunicator") == 0 || std::wcscmp(name, L"TReader_dat") == 0);
    LocalFree(name);
    CloseHandle(thread);
    return worker;
}

}  // namespace

int WorkerThreads() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int workers = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        workers +=
            entry.th32OwnerProcessID == GetCurrentProcessId() && IsWorker(entry.th32ThreadID);
    CloseHandle(snapshot);
    return workers;
}

void WriteToStandardError(const std::string& text) {
    _write(2, text.data(), static_cast<unsigned>(text.size()));
}

void PrintOnCrash(const std::string& note) {
    crashNote = &note;
    SetUnhandledExceptionFilter(OnUnhandledException);
    std::signal(SIGABRT, OnAbort);
}

}  // namespace reliability
