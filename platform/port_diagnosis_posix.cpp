#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/port_diagnosis.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

// The vendors of the USB serial chips K-line cables are built on: FTDI, QinHeng (CH34x),
// Prolific (PL2303), Silicon Labs (CP210x).
constexpr const char* kSerialChipVendors[] = {"0403", "1a86", "067b", "10c4"};
constexpr const char* kBrailleService = "brltty";
// The groups Linux distributions give serial ports to: Debian and most others, then Arch.
constexpr const char* kSerialGroups[] = {"dialout", "uucp"};

// Calls `visit` with the name of every entry of `folder`; a folder that cannot be read has
// none. Never throws: the error codes are looked at instead.
template <class Visit>
void ForEachEntry(const std::string& folder, Visit&& visit) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        if (!visit(entry->path().filename().string()))
            return;
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string LinkTarget(const std::string& path) {
    std::error_code error;
    const fs::path target = fs::read_symlink(path, error);
    return error ? std::string() : target.string();
}

std::string BaseName(const std::string& path) {
    return fs::path(path).filename().string();
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Whether the process folder's open files include `device`. Run at every opening of a
// port, so it reads the links with the plain calls: looking through 160 processes with 1400
// open files takes 8 ms of processor time as root. Processes of other users cannot be opened
// and are passed over at once.
bool HasOpen(const std::string& process, const std::string& device) {
    const std::string folder = process + "/fd";
    DIR* fds = opendir(folder.c_str());
    if (!fds)
        return false;
    bool holds = false;
    char target[PATH_MAX];
    while (const dirent* entry = readdir(fds)) {
        const std::string link = folder + "/" + entry->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof target);
        if (n == static_cast<ssize_t>(device.size()) &&
            device.compare(0, device.size(), target, static_cast<size_t>(n)) == 0) {
            holds = true;
            break;
        }
    }
    closedir(fds);
    return holds;
}

bool BrailleServiceRuns(const DeviceFolders& folders) {
    bool runs = false;
    ForEachEntry(folders.procFolder, [&](const std::string& pid) {
        runs = AllDigits(pid) &&
               FirstLine(folders.procFolder + "/" + pid + "/comm") == kBrailleService;
        return !runs;
    });
    return runs;
}

// --- the user and the device file --------------------------------------------------------

std::string UserName(uid_t uid) {
    const passwd* user = getpwuid(uid);
    return user ? user->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    const group* entry = getgrgid(gid);
    return entry ? entry->gr_name : std::to_string(gid);
}

bool SessionHas(gid_t gid) {
    std::vector<gid_t> groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
    groups.resize(static_cast<size_t>(
        std::max(getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    return gid == getegid() || std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The user database lists the user in the group: as a member, or as the primary group.
bool Listed(const group& entry) {
    const passwd* user = getpwuid(geteuid());
    if (!user)
        return false;
    if (user->pw_gid == entry.gr_gid)
        return true;
    for (char** member = entry.gr_mem; *member; ++member)
        if (std::string(user->pw_name) == *member)
            return true;
    return false;
}

void LookAtSerialGroup(DeviceAccess& access) {
    for (const char* name : kSerialGroups) {
        const group* entry = getgrnam(name);
        if (!entry)
            continue;
        access.serialGroup = name;
        access.inSerialGroup = SessionHas(entry->gr_gid);
        access.serialGroupListed = Listed(*entry);
        return;
    }
}

}  // namespace

std::string ResolvedDevice(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::optional<int> UartType(const std::string& kernelName, const DeviceFolders& folders) {
    if (!StartsWith(kernelName, "ttyS"))
        return std::nullopt;
    std::ifstream in(folders.classFolder + "/" + kernelName + "/type");
    int type = 0;
    if (in >> type)
        return type;
    return std::nullopt;
}

std::vector<Holder> HoldersOf(const std::string& device, int self, const DeviceFolders& folders) {
    std::vector<Holder> holders;
    const std::string selfName = std::to_string(self);
    ForEachEntry(folders.procFolder, [&](const std::string& pid) {
        if (AllDigits(pid) && pid != selfName && HasOpen(folders.procFolder + "/" + pid, device))
            holders.push_back(
                {FirstLine(folders.procFolder + "/" + pid + "/comm"), std::atoi(pid.c_str())});
        return true;
    });
    std::sort(holders.begin(), holders.end(),
              [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
    return holders;
}

std::string BrailleHeldChip(const DeviceFolders& folders) {
    if (!BrailleServiceRuns(folders))
        return {};
    std::string chip;
    // Interfaces are named after their device: "1-1:1.0" belongs to "1-1".
    ForEachEntry(folders.usbFolder, [&](const std::string& name) {
        const size_t colon = name.find(':');
        if (colon == std::string::npos ||
            BaseName(LinkTarget(folders.usbFolder + "/" + name + "/driver")) != "usbfs")
            return true;
        const std::string usbDevice = folders.usbFolder + "/" + name.substr(0, colon);
        const std::string vendor = FirstLine(usbDevice + "/idVendor");
        if (std::find(std::begin(kSerialChipVendors), std::end(kSerialChipVendors), vendor) !=
            std::end(kSerialChipVendors))
            chip = vendor + ":" + FirstLine(usbDevice + "/idProduct");
        return chip.empty();
    });
    return chip;
}

DeviceAccess AccessOf(const std::string& path) {
    DeviceAccess access;
    access.kernelName = BaseName(ResolvedDevice(path));
    LookAtSerialGroup(access);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return access;
    access.owner = UserName(info.st_uid);
    access.group = GroupName(info.st_gid);
    access.mode = info.st_mode & 0777;
    access.userIsOwner = info.st_uid == geteuid();
    access.inGroup = SessionHas(info.st_gid);
    if (const group* entry = getgrgid(info.st_gid))
        access.groupListed = Listed(*entry);
    return access;
}

OpenFailure Diagnose(const std::string& path, int error, const DeviceFolders& folders, int self) {
    OpenFailure failure;
    failure.device = path;
    const std::string device = ResolvedDevice(path);
    // Whatever the call said, a ttyS device without a UART cannot serve: that comes first.
    if (UartType(BaseName(device), folders) == 0) {
        failure.error = OpenError::NoUart;
        return failure;
    }
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            failure.error = OpenError::Missing;
            failure.brailleChip = BrailleHeldChip(folders);  // it may have taken the cable
            break;
        case EACCES:
        case EPERM:
            failure.error = OpenError::PermissionDenied;
            failure.access = AccessOf(path);
            break;
        case EBUSY:
            failure.error = OpenError::Busy;
            failure.holders = HoldersOf(device, self, folders);
            break;
        case ENOTTY:
            failure.error = OpenError::NotSerial;
            break;
        default:
            break;
    }
    return failure;
}

}  // namespace platform
