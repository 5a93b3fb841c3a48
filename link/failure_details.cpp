#include "link/failure_details.h"

namespace kline {

namespace {

// Some distributions ship the braille display service with a rule that claims every CH340
// chip: the K-line cable disappears or stays busy as soon as it is plugged in.
constexpr const char* kBrailleService =
    "Служба дисплеев Брайля (brltty) забирает себе кабели на микросхеме CH340. Если дисплей "
    "Брайля не нужен, удалите её: sudo apt remove brltty — и подключите кабель заново.";

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string Missing(const platform::OpenFailure& f, const std::vector<std::string>& present) {
    std::string text =
        "Порта " + f.device + " нет в системе: кабель не подключён или его занял другой драйвер. ";
    text += present.empty() ? "Последовательных портов в системе не найдено."
                            : "Порты, которые есть: " + Joined(present) + ".";
    if (f.brailleService)
        text += std::string("\n\n") + kBrailleService;
    return text;
}

std::string PermissionDenied(const platform::OpenFailure& f) {
    std::string text = "Нет прав на работу с портом " + f.device + ".";
    if (f.group.empty())
        return text;
    if (f.groupListed)
        return text + " Пользователь уже добавлен в группу " + f.group +
               ", но это действует только после нового входа: выйдите из системы и войдите "
               "заново.";
    return text + " Пользователь не входит в группу " + f.group +
           ". Выполните в терминале: sudo usermod -aG " + f.group +
           " $USER — затем выйдите из системы и войдите заново.";
}

std::string Busy(const platform::OpenFailure& f) {
    if (f.holder == "brltty" || (f.holder.empty() && f.brailleService))
        return "Порт " + f.device + " занят службой дисплеев Брайля (brltty). " + kBrailleService;
    if (!f.holder.empty())
        return "Порт " + f.device + " занят программой " + f.holder + ". Закройте её и повторите.";
    return "Порт " + f.device + " занят другой программой. Закройте её и повторите.";
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
