#include "link/failure_details.h"

#include <cctype>

namespace kline {

namespace {

using platform::DeviceAccess;
using platform::OpenFailure;

// Some distributions ship the braille display service with a rule that claims every CH340
// chip: the K-line cable disappears or stays busy as soon as it is plugged in.
constexpr const char* kBrailleService =
    "Служба дисплеев Брайля (brltty) забирает себе кабели на микросхеме CH340. Если дисплей "
    "Брайля не нужен, удалите её: sudo apt remove brltty — и подключите кабель заново.";

// The groups a user joins to use serial ports (Debian and most others; Arch).
bool IsSerialGroup(const std::string& group) {
    return group == "dialout" || group == "uucp";
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// "/dev/ttyS0" is what the station opens for "COM1": the user knows it by that name.
std::string ComAlias(const std::string& device) {
    const std::string prefix = "/dev/ttyS";
    if (device.rfind(prefix, 0) != 0 || device.size() == prefix.size() || device.size() > 12)
        return {};
    for (size_t i = prefix.size(); i < device.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(device[i])))
            return {};
    return " (COM" + std::to_string(std::stoi(device.substr(prefix.size())) + 1) + ")";
}

std::string PresentPorts(const std::vector<std::string>& present) {
    return present.empty() ? "Последовательных портов в системе не найдено."
                           : "Порты, которые есть: " + Joined(present) + ".";
}

std::string Missing(const OpenFailure& f, const std::vector<std::string>& present) {
    std::string text =
        "Порта " + f.device + " нет в системе: кабель не подключён или его занял другой драйвер. ";
    text += PresentPorts(present);
    if (!f.brailleChip.empty())
        text += "\n\nКабель (USB " + f.brailleChip +
                ") подключён, но его держит служба дисплеев "
                "Брайля. " +
                kBrailleService;
    return text;
}

std::string NoUart(const OpenFailure& f, const std::vector<std::string>& present) {
    return "Порт " + f.device + ComAlias(f.device) +
           " есть в системе, но микросхемы последовательного порта за ним нет: система заводит "
           "такие устройства и для портов, которых в компьютере нет. " +
           PresentPorts(present) +
           " Выберите порт кабеля K-линии в «Настройка соединения» (на USB-кабеле это обычно "
           "ttyUSB0).";
}

// --- permissions -------------------------------------------------------------------------

constexpr uint32_t kReadWrite = 6;  // r and w of one class of the mode bits

uint32_t OwnerBits(uint32_t mode) {
    return (mode >> 6) & 7;
}
uint32_t GroupBits(uint32_t mode) {
    return (mode >> 3) & 7;
}
uint32_t OtherBits(uint32_t mode) {
    return mode & 7;
}
bool ReadWrite(uint32_t bits) {
    return (bits & kReadWrite) == kReadWrite;
}

// "rw-rw---- (0660)", as ls and chmod show them.
std::string ModeText(uint32_t mode) {
    std::string text;
    for (const uint32_t bits : {OwnerBits(mode), GroupBits(mode), OtherBits(mode)}) {
        text += (bits & 4) ? 'r' : '-';
        text += (bits & 2) ? 'w' : '-';
        text += (bits & 1) ? 'x' : '-';
    }
    const std::string octal = "0" + std::to_string(OwnerBits(mode)) +
                              std::to_string(GroupBits(mode)) + std::to_string(OtherBits(mode));
    return text + " (" + octal + ")";
}

// The kernel names of the kind of device: "ttyUSB0" -> "ttyUSB[0-9]*", so that the rule also
// holds when the cable comes back under another number.
std::string KernelPattern(const std::string& kernelName) {
    size_t digits = kernelName.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(kernelName[digits - 1]))) --digits;
    if (digits == kernelName.size())
        return kernelName;
    return kernelName.substr(0, digits) + "[0-9]*";
}

std::string Membership(const std::string& group, bool listed) {
    if (listed)
        return "Пользователь уже добавлен в группу " + group +
               ", но это действует только после нового входа: выйдите из системы и войдите "
               "заново.";
    return "Пользователь не входит в группу " + group +
           ". Выполните в терминале: sudo usermod -aG " + group +
           " $USER — затем выйдите из системы и войдите заново.";
}

// A rule that gives every device of the kind to the serial group, readable and writable by
// it, each time the cable is plugged in.
std::string UdevRule(const DeviceAccess& a) {
    return "Отдайте порт группе " + a.serialGroup +
           " правилом udev: выполните в терминале\n"
           "echo 'SUBSYSTEM==\"tty\", KERNEL==\"" +
           KernelPattern(a.kernelName) + "\", GROUP=\"" + a.serialGroup +
           "\", MODE=\"0660\"' | sudo tee /etc/udev/rules.d/70-tavro-kx42h-port.rules\n"
           "sudo udevadm control --reload-rules && sudo udevadm trigger\n"
           "— и подключите кабель заново.";
}

std::string BeyondModeBits(const std::string& device) {
    return "Права устройства разрешают вам чтение и запись, но система всё же отказала: доступ "
           "закрыт списком ACL или профилем безопасности (SELinux, AppArmor). Списки покажет "
           "команда: getfacl " +
           device;
}

// What stands in the way, by the class of the mode bits that applies to the user (owner,
// group, others, in the system's own order), and the remedy for it.
std::string AccessRemedy(const std::string& device, const DeviceAccess& a) {
    if (a.userIsOwner)
        return ReadWrite(OwnerBits(a.mode))
                   ? BeyondModeBits(device)
                   : "Устройство принадлежит вам, но права владельца не дают чтения и записи. "
                     "Выполните в терминале: chmod u+rw " +
                         device;
    if (a.inGroup)
        return ReadWrite(GroupBits(a.mode))
                   ? BeyondModeBits(device)
                   : "Вы входите в группу " + a.group +
                         ", но права устройства не дают ей чтения и записи. " + UdevRule(a) +
                         "\nСразу, до переподключения кабеля, поможет: sudo chmod g+rw " + device;
    if (ReadWrite(GroupBits(a.mode)) && IsSerialGroup(a.group))
        return Membership(a.group, a.groupListed);
    if (ReadWrite(OtherBits(a.mode)))
        return BeyondModeBits(device);
    // The group's bits do not let it in, or the group is one nobody joins for a port (root
    // and its like would hand the user far more than the port).
    std::string text =
        ReadWrite(GroupBits(a.mode))
            ? "В группу " + a.group + " ради порта не вступают: она даёт слишком много прав. "
            : "Права устройства не дают чтения и записи ни группе " + a.group +
                  ", ни остальным пользователям. ";
    text += UdevRule(a);
    if (!a.inSerialGroup)
        text += "\n" + Membership(a.serialGroup, a.serialGroupListed);
    return text;
}

std::string PermissionDenied(const OpenFailure& f) {
    const DeviceAccess& a = f.access;
    const std::string text = "Нет прав на работу с портом " + f.device + ".";
    if (a.owner.empty())
        return text;  // the device file could not be looked at
    return text + " Владелец устройства " + a.owner + ", группа " + a.group + ", права " +
           ModeText(a.mode) + ". " + AccessRemedy(f.device, a);
}

// --- a port someone else holds -----------------------------------------------------------

std::string Busy(const OpenFailure& f) {
    std::vector<std::string> programs;
    for (const platform::Holder& h : f.holders) {
        if (h.program == "brltty")
            return "Порт " + f.device + " занят службой дисплеев Брайля (brltty). " +
                   kBrailleService;
        programs.push_back(h.program + " (процесс " + std::to_string(h.pid) + ")");
    }
    if (programs.size() == 1)
        return "Порт " + f.device + " занят программой " + programs[0] +
               ". Закройте её и повторите.";
    if (!programs.empty())
        return "Порт " + f.device + " занят программами " + Joined(programs) +
               ". Закройте их и повторите.";
    std::string text = "Порт " + f.device + " занят другой программой. Закройте её и повторите.";
    // A program of another user or a system service cannot be looked into without root.
    if (!f.device.empty() && f.device.front() == '/')
        text += " Какая программа держит порт, покажет команда: sudo fuser -v " + f.device;
    return text;
}

}  // namespace

std::string OpenFailureDetails(const platform::OpenFailure& failure,
                               const std::vector<std::string>& present) {
    switch (failure.error) {
        case platform::OpenError::Missing:
            return Missing(failure, present);
        case platform::OpenError::PermissionDenied:
            return PermissionDenied(failure);
        case platform::OpenError::Busy:
            return Busy(failure);
        case platform::OpenError::NotSerial:
            return failure.device + " — не последовательный порт.";
        case platform::OpenError::NoUart:
            return NoUart(failure, present);
        case platform::OpenError::Unknown:
            break;
    }
    return {};
}

std::string RateDetails(uint32_t wanted, uint32_t got) {
    return "Микросхема кабеля не может работать на скорости " + std::to_string(wanted) +
           " бод (порт установил " + std::to_string(got) +
           " бод). Такой кабель (например, на старых микросхемах CP2101–CP2103) для K-линии не "
           "годится: нужен кабель на FTDI, CH340 или PL2303.";
}

}  // namespace kline
