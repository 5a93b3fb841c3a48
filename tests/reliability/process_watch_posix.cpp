#include <dirent.h>
#include <execinfo.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "tests/reliability/process_watch.h"

namespace reliability {

namespace {

const std::string* crashNote = nullptr;

void OnFatalSignal(int signal) {
    if (crashNote)
        WriteToStandardError(*crashNote);
    // The stack as offsets into the binaries: `addr2line -e BINARY OFFSET` names the lines.
    void* frames[64];
    backtrace_symbols_fd(frames, backtrace(frames, 64), 2);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

int WorkerThreads() {
    int workers = 0;
    DIR* dir = opendir("/proc/self/task");
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        workers += name == "TCommunicator" || name == "TReader_dat";
    }
    closedir(dir);
    return workers;
}

void WriteToStandardError(const std::string& text) {
    [[maybe_unused]] const ssize_t n = write(2, text.data(), text.size());
}

void PrintOnCrash(const std::string& note) {
    crashNote = &note;
    std::signal(SIGABRT, OnFatalSignal);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    std::signal(SIGSEGV, OnFatalSignal);  // a sanitizer reports these itself, with stacks
#endif
}

}  // namespace reliability
