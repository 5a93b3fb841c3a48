#include "link/kwp_message.h"

#include <iterator>

namespace kline {

KwpMessage MakeRequest(std::initializer_list<uint8_t> bytes) {
    KwpMessage request;
    for (uint8_t byte : bytes) request.data[request.length++] = byte;
    return request;
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

namespace {

// The negative response codes an ECU of these families may send (ISO 14230-3, table 4).
const char* NegativeCodeText(uint8_t code) {
    switch (code) {
        case 0x10:
            return "общий отказ";
        case 0x11:
            return "услуга не поддерживается";
        case 0x12:
            return "параметр не поддерживается или неверный формат запроса";
        case 0x21:
            return "блок занят, повторите запрос";
        case 0x22:
            return "условия не позволяют выполнить запрос";
        case 0x31:
            return "запрос вне допустимого диапазона";
        case 0x33:
            return "доступ запрещён";
        case 0x78:
            return "запрос принят, ответ задерживается";
        default:
            return "код не описан в стандарте";
    }
}

}  // namespace

std::string FailureText(FailureReason reason, uint8_t negativeCode) {
    switch (reason) {
        case FailureReason::None:
            return "Обмен с ЭБУ прошёл без ошибок.";
        case FailureReason::PortClosed:
            return "Порт не открыт.";
        case FailureReason::WriteFailed:
            return "Запрос не удалось передать в порт: адаптер отсоединён от компьютера или "
                   "драйвер "
                   "порта отказал.";
        case FailureReason::NoEcho:
            return "Адаптер не вернул переданные байты: у адаптера нет питания (он питается от "
                   "диагностической колодки автомобиля) или он не подключён к порту.";
        case FailureReason::EchoDiffers:
            return "Адаптер вернул не те байты, что были переданы: скорость порта не та или на "
                   "линии "
                   "помехи.";
        case FailureReason::Silent:
            return "ЭБУ не отвечает: проверьте зажигание, подключение к диагностической колодке и "
                   "выбранный тип ЭБУ.";
        case FailureReason::NotForTester:
            return "Ответ адресован не компьютеру: на линии другой прибор или помехи.";
        case FailureReason::WrongSource:
            return "Ответил блок с другим адресом: проверьте выбранный тип ЭБУ.";
        case FailureReason::NegativeAnswer:
            return "ЭБУ отклонил запрос, код " + HexBytes(&negativeCode, 1) + ": " +
                   NegativeCodeText(negativeCode) + ".";
        case FailureReason::UnexpectedService:
            return "ЭБУ ответил не на тот запрос.";
        case FailureReason::Truncated:
            return "Ответ ЭБУ оборвался на середине: связь прервалась или на линии помехи.";
        case FailureReason::BadChecksum:
            return "Контрольная сумма ответа не сошлась: ответ искажён помехами на линии.";
        case FailureReason::LateStart:
            return "Запрос не удалось передать вовремя после пробуждения ЭБУ: его задержал "
                   "компьютер или драйвер порта.";
    }
    return {};
}

const char* FailureName(FailureReason reason) {
    // The enumerators' own names, in their order.
    static constexpr const char* kNames[] = {
        "None",      "PortClosed",   "WriteFailed", "NoEcho",         "EchoDiffers",
        "Silent",    "NotForTester", "WrongSource", "NegativeAnswer", "UnexpectedService",
        "Truncated", "BadChecksum",  "LateStart"};
    static_assert(std::size(kNames) == static_cast<size_t>(FailureReason::LateStart) + 1);
    const auto index = static_cast<size_t>(reason);
    return index < std::size(kNames) ? kNames[index] : "?";
}

}  // namespace kline
