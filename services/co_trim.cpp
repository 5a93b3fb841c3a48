#include "services/co_trim.h"

#include "platform/clock.h"
#include "platform/number_format.h"
#include "services/answer_bytes.h"
#include "settings/ecu_types.h"

namespace services {

namespace {

constexpr size_t kTrimByte = 11;
constexpr int kReadAttempts = 10;
constexpr size_t kTextLength = 7;

// Only the second family keeps a CO trim (byte 11 of the first family's record is its supply
// voltage) and takes it over the line; indexed by the variant's Type().
constexpr settings::PerEcuType<bool> kKeepsTrim = settings::OnePerEcuType<bool>(false, true);

// InputOutputControlByLocalIdentifier on identifier 0x61, with the control parameters of
// ISO 14230-3: 0x08 long-term adjustment (the new value), then 0x00 return control to the ECU.
constexpr uint8_t kControlService = 0x30;
constexpr uint8_t kTrimIdentifier = 0x61;
constexpr uint8_t kLongTermAdjustment = 0x08;
constexpr uint8_t kReturnControlToEcu = 0x00;

bool Answered(const kline::EcuVariant& v, const kline::KwpMessage& request, kline::Port& port) {
    return v.Exchange(request, port).error == 0;
}

}  // namespace

int8_t CoTrimOf(const kline::KwpMessage& liveData) {
    return static_cast<int8_t>(AnswerByte(liveData, kTrimByte));
}

bool KeepsCoTrim(const kline::EcuProtocol& protocol) {
    const int type = protocol.EcuType();
    return type < 0 || kKeepsTrim[type];  // no type: the operations themselves say so
}

std::optional<int8_t> ReadCoTrim(const kline::EcuProtocol& protocol, kline::Port& port) {
    kline::KwpMessage record;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        // An answer that ends before the trim byte holds no trim: its checksum or a zero
        // would be stored by the next "Ok".
        if (protocol.ReadLiveData(port, record) && record.length > kTrimByte)
            return CoTrimOf(record);
    }
    return std::nullopt;
}

std::string CoTrimText(int trim) {
    std::string text = platform::FormatNumber(trim / 255.0);
    if (text.size() > kTextLength)
        text.resize(kTextLength);
    return text;
}

bool WriteCoTrim(const kline::EcuProtocol& protocol, int8_t trim, int requestDelay,
                 kline::Port& port) {
    return protocol.Dispatch(false, [&](const kline::EcuVariant& v) {
        if (!kKeepsTrim[v.Type()])
            return false;  // nothing can be stored: the caller says so
        const kline::KwpMessage setValue = kline::MakeRequest(
            {kControlService, kTrimIdentifier, kLongTermAdjustment, static_cast<uint8_t>(trim)});
        const kline::KwpMessage returnControl =
            kline::MakeRequest({kControlService, kTrimIdentifier, kReturnControlToEcu});
        platform::Sleep(requestDelay);
        if (!Answered(v, setValue, port))
            return false;
        platform::Sleep(requestDelay);
        return Answered(v, returnControl, port);
    });
}

}  // namespace services
