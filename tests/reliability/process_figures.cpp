#include "tests/reliability/process_figures.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace reliability {

int64_t ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    int64_t sizePages = 0;
    int64_t residentPages = 0;
    statm >> sizePages >> residentPages;
    return residentPages * ::sysconf(_SC_PAGESIZE) / 1024;
}

namespace {

// The targets of the process's descriptors (the directory's own one included).
std::vector<std::string> DescriptorTargets() {
    std::vector<std::string> targets;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code unreadable;
        targets.push_back(std::filesystem::read_symlink(it->path(), unreadable).string());
    }
    return targets;
}

}  // namespace

int OpenHandles() {
    return static_cast<int>(DescriptorTargets().size()) - 1;  // the iterator's own descriptor
}

int OpenTerminals() {
    int count = 0;
    for (const std::string& target : DescriptorTargets())
        count += target.rfind("/dev/pts/", 0) == 0 || target.rfind("/dev/tty", 0) == 0;
    return count;
}

}  // namespace reliability
