#include "platform/line_trace.h"

#include <cstdio>
#include <iterator>

namespace platform {

namespace {

// The word of each side, in TraceKind's order; padded so that the bytes of all lines stand
// in one column.
constexpr const char* kKindWords[] = {"tester", "echo  ", "ecu   ", "break set", "break clear"};
static_assert(std::size(kKindWords) == static_cast<size_t>(TraceKind::BreakClear) + 1);

const char* KindWord(TraceKind kind) {
    const auto index = static_cast<size_t>(kind);
    return index < std::size(kKindWords) ? kKindWords[index] : "";
}

bool IsBreak(TraceKind kind) {
    return kind == TraceKind::BreakSet || kind == TraceKind::BreakClear;
}

std::string_view NextWord(std::string_view& text) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const size_t end = text.find(' ');
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    return word;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigit(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "12.345678": whole seconds (at most 9 digits, over 30 years) and exactly six decimals.
bool ParseTime(std::string_view word, int64_t& micros) {
    const size_t point = word.find('.');
    if (point == std::string_view::npos || point == 0 || point > 9 || word.size() != point + 7)
        return false;
    int64_t value = 0;
    for (char c : word) {
        if (c == '.')
            continue;
        if (!IsDigit(c))
            return false;
        value = value * 10 + (c - '0');
    }
    micros = value;
    return true;
}

bool ParseKind(std::string_view word, std::string_view& rest, TraceKind& kind) {
    if (word == "tester") {
        kind = TraceKind::Tester;
    } else if (word == "echo") {
        kind = TraceKind::Echo;
    } else if (word == "ecu") {
        kind = TraceKind::Ecu;
    } else if (word == "break") {
        const std::string_view what = NextWord(rest);
        if (what != "set" && what != "clear")
            return false;
        kind = what == "set" ? TraceKind::BreakSet : TraceKind::BreakClear;
    } else {
        return false;
    }
    return true;
}

bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

constexpr size_t kMostQuoted = 60;

}  // namespace

size_t KwpFrameSize(std::span<const uint8_t> bytes) {
    if (bytes.empty())
        return 0;
    const size_t header = (bytes[0] & 0x80) ? 3 : 1;
    const size_t length = bytes[0] & 0x3F;
    if (length != 0)
        return header + length + 1;
    if (bytes.size() <= header)
        return 0;
    return header + 1 + bytes[header] + 1;
}

std::string QuotedForMessage(std::string_view text) {
    std::string quoted;
    for (size_t i = 0; i < text.size() && i < kMostQuoted; ++i)
        quoted += text[i] >= ' ' && text[i] <= '~' ? text[i] : '?';
    return text.size() > kMostQuoted ? quoted + "..." : quoted;
}

std::string FormatTraceLine(const TraceLine& line) {
    const long long micros = line.micros > 0 ? line.micros : 0;
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%4lld.%06lld  ", micros / 1'000'000, micros % 1'000'000);
    std::string text = std::string(stamp) + KindWord(line.kind);
    if (IsBreak(line.kind))
        return text;
    text += ' ';
    char item[4];
    for (uint8_t b : line.bytes) {
        std::snprintf(item, sizeof item, " %02X", b);
        text += item;
    }
    return text;
}

bool ParseTraceLine(std::string_view text, TraceLine& line, std::string& error) {
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);  // written on Windows
    TraceLine parsed;
    const std::string_view time = NextWord(text);
    if (!ParseTime(time, parsed.micros))
        return Fail(error,
                    "bad time \"" + QuotedForMessage(time) + "\" (seconds with six decimals)");
    const std::string_view kind = NextWord(text);
    if (!ParseKind(kind, text, parsed.kind))
        return Fail(error, "unknown side \"" + QuotedForMessage(kind) +
                               "\" (tester, echo, ecu, break set, break clear)");
    for (std::string_view word = NextWord(text); !word.empty(); word = NextWord(text)) {
        if (IsBreak(parsed.kind))
            return Fail(error, "text after a break");
        const int high = word.size() == 2 ? HexDigit(word[0]) : -1;
        const int low = word.size() == 2 ? HexDigit(word[1]) : -1;
        if (high < 0 || low < 0)
            return Fail(error, "bad byte \"" + QuotedForMessage(word) + "\" (two hex digits)");
        parsed.bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    if (!IsBreak(parsed.kind) && parsed.bytes.empty())
        return Fail(error, "no bytes");
    line = std::move(parsed);
    return true;
}

bool ReadTrace(std::istream& in, std::vector<TraceLine>& lines, TraceError& error) {
    std::vector<TraceLine> read;
    std::string text;
    for (size_t number = 1; std::getline(in, text); ++number) {
        const size_t start = text.find_first_not_of(" \r");
        if (start == std::string::npos || text[start] == '#')
            continue;
        TraceLine line;
        std::string why;
        if (!ParseTraceLine(text, line, why)) {
            error = {number, why};
            return false;
        }
        line.number = number;
        if (!read.empty() && line.micros < read.back().micros) {
            error = {number, "time goes back"};
            return false;
        }
        read.push_back(std::move(line));
    }
    lines = std::move(read);
    return true;
}

std::vector<std::string> TraceWriter::Add(const TraceByte& event) {
    std::vector<std::string> lines;
    // A frame never spans two sides or a break: the unfinished one ends there.
    if (!pending_.bytes.empty() && (event.kind != pending_.kind || IsBreak(event.kind)))
        lines = TakePending();
    for (std::string& line : Flush(event.micros)) lines.push_back(std::move(line));
    if (IsBreak(event.kind)) {
        lines.push_back(FormatTraceLine({event.micros - origin_, event.kind, {}, 0}));
        return lines;
    }
    if (pending_.bytes.empty()) {
        pending_.kind = event.kind;
        pending_.micros = event.micros - origin_;
    }
    pending_.bytes.push_back(event.byte);
    last_ = event.micros;
    if (FrameComplete())
        for (std::string& line : TakePending()) lines.push_back(std::move(line));
    return lines;
}

std::vector<std::string> TraceWriter::Flush(int64_t nowMicros, bool force) {
    const bool dropped = dropIdle_ > 0 && nowMicros - last_ > dropIdle_;
    return force || dropped ? TakePending() : std::vector<std::string>{};
}

bool TraceWriter::FrameComplete() const {
    const size_t size = KwpFrameSize(pending_.bytes);
    return size != 0 && pending_.bytes.size() >= size;
}

std::vector<std::string> TraceWriter::TakePending() {
    if (pending_.bytes.empty())
        return {};
    std::vector<std::string> lines{FormatTraceLine(pending_)};
    pending_.bytes.clear();
    return lines;
}

}  // namespace platform
