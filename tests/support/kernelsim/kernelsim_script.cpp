#include "support/kernelsim/kernelsim_script.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

#include "host/zel/zel_sync.h"
#include "support/kernelsim/kernel_simulator.h"

namespace KernelSim {

namespace {

// A token of a line: its text with the quotes removed, and whether a quote was in it.
struct Token {
    std::string text;
    bool quoted = false; // it begins with a double quote: a string as written
};

class ParseError {
public:
    explicit ParseError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }

private:
    std::string message_;
};

// Splits at blanks; a double quote runs to the next one, taken as written; '#' outside
// quotes ends the line.
std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (at < line.size()) {
        const char c = line[at];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++at;
            continue;
        }
        if (c == '#') break;
        Token token;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') {
            if (line[at] == '"') {
                const std::size_t end = line.find('"', at + 1);
                if (end == std::string_view::npos) throw ParseError("unterminated string");
                if (token.text.empty()) token.quoted = true;
                token.text.append(line.substr(at + 1, end - at - 1));
                at = end + 1;
                continue;
            }
            token.text.push_back(line[at++]);
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::int64_t integer(const std::string& text, std::int64_t low, std::int64_t high, const char* what) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && digits.front() == '-') {
        negative = true;
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        magnitude > std::uint64_t{1} << 62)
        throw ParseError(std::string("bad ") + what + " '" + text + "'");
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (value < low || value > high)
        throw ParseError(std::string(what) + " out of range: " + text);
    return value;
}

double real(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (text.empty() || end != begin + text.size() || errno == ERANGE)
        throw ParseError("bad number '" + text + "'");
    return value;
}

void putLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Appends one data item.
void dataItem(const Token& token, std::vector<std::uint8_t>& out) {
    const std::string& t = token.text;
    if (token.quoted) {
        out.insert(out.end(), t.begin(), t.end());
    } else if (t == "nul") {
        out.push_back(0);
    } else if (t.rfind("i32:", 0) == 0) {
        putLe(out, static_cast<std::uint32_t>(integer(t.substr(4), INT32_MIN, INT32_MAX, "i32")), 4);
    } else if (t.rfind("u32:", 0) == 0) {
        putLe(out, static_cast<std::uint64_t>(integer(t.substr(4), 0, UINT32_MAX, "u32")), 4);
    } else if (t.rfind("u16:", 0) == 0) {
        putLe(out, static_cast<std::uint64_t>(integer(t.substr(4), 0, UINT16_MAX, "u16")), 2);
    } else if (t.rfind("u8:", 0) == 0) {
        putLe(out, static_cast<std::uint64_t>(integer(t.substr(3), 0, UINT8_MAX, "u8")), 1);
    } else if (t.rfind("f64:", 0) == 0) {
        const double value = real(t.substr(4));
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        putLe(out, bits, 8);
    } else if (t.rfind("zeros:", 0) == 0) {
        const auto n = integer(t.substr(6), 0, kVekMaxDataLength, "zeros");
        if (out.size() + static_cast<std::size_t>(n) > kVekMaxDataLength) throw ParseError("data longer than 1 MiB");
        out.insert(out.end(), static_cast<std::size_t>(n), 0);
    } else if (t.rfind("hex:", 0) == 0) {
        const std::string hex = t.substr(4);
        if (hex.size() % 2 != 0) throw ParseError("odd number of hex digits in '" + t + "'");
        for (std::size_t i = 0; i < hex.size(); i += 2)
            out.push_back(static_cast<std::uint8_t>(integer("0x" + hex.substr(i, 2), 0, 255, "hex digits")));
    } else if (t.rfind("str:", 0) == 0) {
        out.insert(out.end(), t.begin() + 4, t.end());
    } else {
        throw ParseError("bad data item '" + t + "'");
    }
    if (out.size() > kVekMaxDataLength) throw ParseError("data longer than 1 MiB");
}

StepTarget target(const std::string& text) {
    if (text == "user") return {StepTarget::Kind::user, 0};
    if (text == "interp") return {StepTarget::Kind::interpreter, kInterpreterPort};
    return {StepTarget::Kind::port, static_cast<std::uint16_t>(integer(text, 0, UINT16_MAX, "port"))};
}

struct StepName {
    const char* name;
    StepKind kind;
};

constexpr StepName kStepNames[] = {
    {"timeout", StepKind::timeout},           {"channel", StepKind::channel},
    {"group", StepKind::group},               {"lookup", StepKind::lookup},
    {"await-port", StepKind::awaitPort},      {"write", StepKind::write},
    {"read", StepKind::read},                 {"command", StepKind::command},
    {"expect-record", StepKind::expectRecord}, {"expect-records", StepKind::expectRecords},
    {"expect-write", StepKind::expectWrite},  {"expect-words", StepKind::expectWords},
    {"axes", StepKind::axes},                 {"serve", StepKind::serve},
};

void arity(const std::vector<Token>& tokens, std::size_t low, std::size_t high) {
    if (tokens.size() - 1 < low || tokens.size() - 1 > high)
        throw ParseError("'" + tokens[0].text + "' takes " +
                         (low == high ? std::to_string(low) : std::to_string(low) + " to " + std::to_string(high)) +
                         " arguments");
}

// The position of "->", which must be followed by exactly the code (and, for read, data).
std::size_t arrow(const std::vector<Token>& tokens) {
    for (std::size_t i = 1; i < tokens.size(); ++i)
        if (!tokens[i].quoted && tokens[i].text == "->") return i;
    throw ParseError("'" + tokens[0].text + "' needs '-> <code>'");
}

constexpr std::int64_t kU32Max = UINT32_MAX;
// More commands than any script's program sends.
constexpr std::int64_t kMaxServed = 1000000;

ScriptStep parseStep(const std::vector<Token>& tokens) {
    const auto named = std::find_if(std::begin(kStepNames), std::end(kStepNames),
                                    [&](const StepName& s) { return tokens[0].text == s.name; });
    if (named == std::end(kStepNames) || tokens[0].quoted) throw ParseError("unknown step '" + tokens[0].text + "'");
    ScriptStep step;
    step.kind = named->kind;
    auto number = [&](std::size_t i, std::int64_t low, std::int64_t high, const char* what) {
        step.numbers.push_back(integer(tokens[i].text, low, high, what));
    };
    switch (step.kind) {
    case StepKind::timeout:
        arity(tokens, 1, 1);
        number(1, 1, kMaxTimeoutMs, "timeout");
        break;
    case StepKind::channel:
        arity(tokens, 4, 4);
        number(1, INT32_MIN, INT32_MAX, "channel id");
        step.text = tokens[2].text;
        number(3, INT32_MIN, INT32_MAX, "buffer size");
        number(4, INT32_MIN, INT32_MAX, "interpolation type");
        break;
    case StepKind::group:
        arity(tokens, 6, 6);
        number(1, INT32_MIN, INT32_MAX, "group id");
        number(2, INT32_MIN, INT32_MAX, "channel type");
        number(3, INT32_MIN, INT32_MAX, "group type");
        step.text = tokens[4].text;
        number(5, INT32_MIN, INT32_MAX, "channel id");
        number(6, INT32_MIN, INT32_MAX, "number in channel");
        break;
    case StepKind::lookup:
        arity(tokens, 1, 1);
        step.text = tokens[1].text;
        if (step.text.empty() || step.text.size() > kVekMaxNameLength) throw ParseError("bad port name");
        break;
    case StepKind::awaitPort:
        arity(tokens, 1, 1);
        number(1, 0, UINT16_MAX, "port");
        break;
    case StepKind::write:
    case StepKind::read:
    case StepKind::command: {
        const std::size_t at = arrow(tokens);
        const std::size_t fixed = step.kind == StepKind::write ? 3 : step.kind == StepKind::read ? 4 : 2;
        if (at < 1 + fixed) throw ParseError("'" + tokens[0].text + "' needs " + std::to_string(fixed) + " arguments before '->'");
        if (at + 1 >= tokens.size()) throw ParseError("'->' needs the expected code");
        step.target = target(tokens[1].text);
        if (step.kind == StepKind::command) {
            number(2, 0, UINT16_MAX, "command id");
        } else {
            number(2, 0, kU32Max, "index group");
            number(3, 0, kU32Max, "index offset");
            if (step.kind == StepKind::read) number(4, 0, kVekMaxDataLength, "length");
        }
        step.code = static_cast<std::uint32_t>(integer(tokens[at + 1].text, 0, kU32Max, "code"));
        if (step.kind == StepKind::read) {
            if (at != 1 + fixed) throw ParseError("'read' takes no data before '->'");
            for (std::size_t i = at + 2; i < tokens.size(); ++i) dataItem(tokens[i], step.data);
            step.dataGiven = tokens.size() > at + 2;
        } else {
            if (at + 2 != tokens.size()) throw ParseError("nothing may follow the code");
            for (std::size_t i = 1 + fixed; i < at; ++i) dataItem(tokens[i], step.data);
        }
        break;
    }
    case StepKind::expectRecord:
        if (tokens.size() < 4) throw ParseError("'expect-record' needs <group> <offset> <type>");
        number(1, 0, kU32Max, "index group");
        number(2, 0, kU32Max, "index offset");
        number(3, INT32_MIN, INT32_MAX, "record type");
        for (std::size_t i = 4; i < tokens.size(); ++i) {
            const std::string& t = tokens[i].text;
            if (t.rfind("kind=", 0) == 0 && !step.recordKind) {
                step.recordKind = static_cast<std::int32_t>(integer(t.substr(5), INT32_MIN, INT32_MAX, "kind"));
            } else if (t.rfind("text=", 0) == 0 && !step.textGiven) {
                step.text = t.substr(5);
                step.textGiven = true;
            } else {
                throw ParseError("bad or repeated field '" + t + "'");
            }
        }
        break;
    case StepKind::expectRecords:
        arity(tokens, 3, 3);
        number(1, 0, kU32Max, "index group");
        number(2, 0, kU32Max, "index offset");
        step.text = tokens[3].text;
        if (step.text.empty()) throw ParseError("'expect-records' needs a file");
        break;
    case StepKind::expectWrite:
        if (tokens.size() < 3) throw ParseError("'expect-write' needs <group> <offset>");
        number(1, 0, kU32Max, "index group");
        number(2, 0, kU32Max, "index offset");
        for (std::size_t i = 3; i < tokens.size(); ++i) dataItem(tokens[i], step.data);
        step.dataGiven = tokens.size() > 3;
        break;
    case StepKind::expectWords:
        if (tokens.size() < 3) throw ParseError("'expect-words' needs <channel> and at least one word");
        number(1, INT32_MIN, INT32_MAX, "channel id");
        for (std::size_t i = 2; i < tokens.size(); ++i) number(i, INT32_MIN, INT32_MAX, "state word");
        break;
    case StepKind::axes:
        arity(tokens, 1 + std::tuple_size_v<AxisValues>, 1 + std::tuple_size_v<AxisValues>);
        number(1, INT32_MIN, INT32_MAX, "channel id");
        for (std::size_t i = 2; i < tokens.size(); ++i) step.reals.push_back(real(tokens[i].text));
        break;
    case StepKind::serve:
        arity(tokens, 1, 1);
        number(1, 1, kMaxServed, "count");
        break;
    }
    return step;
}

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    const std::size_t shown = std::min<std::size_t>(bytes.size(), 64);
    for (std::size_t i = 0; i < shown; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0xF]);
    }
    if (shown < bytes.size()) out += "...";
    return out.empty() ? "(none)" : out;
}

std::string hexNumber(std::uint64_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << std::uppercase << value;
    return out.str();
}

} // namespace

Script parseScript(std::string_view text) {
    Script script;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ++lineNumber;
        const std::string_view line = text.substr(start, end - start);
        try {
            const std::vector<Token> tokens = tokenize(line);
            if (!tokens.empty()) {
                ScriptStep step = parseStep(tokens);
                step.line = lineNumber;
                script.steps.push_back(std::move(step));
            }
        } catch (const ParseError& e) {
            script.errors.push_back("line " + std::to_string(lineNumber) + ": " + e.message());
        }
        if (end == text.size()) break;
        start = end + 1;
    }
    return script;
}

// ---- the runner ----------------------------------------------------------------------

ScriptRunner::ScriptRunner(KernelSimulator& sim, std::filesystem::path baseDir, std::ostream& progress)
    : sim_(sim), baseDir_(std::move(baseDir)), progress_(progress) {}

std::string ScriptRunner::run(const Script& script) {
    if (!script.errors.empty()) return script.errors.front();
    for (const ScriptStep& step : script.steps) {
        const std::string failure = execute(step);
        if (!failure.empty()) return "line " + std::to_string(step.line) + ": " + failure;
        progress_ << "line " << step.line << ": ok" << std::endl;
    }
    return {};
}

bool ScriptRunner::resolve(const StepTarget& target, VekAddr& address, std::string& failure) const {
    switch (target.kind) {
    case StepTarget::Kind::user:
        if (!user_) {
            failure = "no 'lookup' before the target 'user'";
            return false;
        }
        address = *user_;
        return true;
    case StepTarget::Kind::interpreter:
    case StepTarget::Kind::port: address = VekAddr{vekLocalNetId(), target.port}; return true;
    }
    return false;
}

namespace {

// Repeats the probe until it reports true or the deadline passes.
template <class Probe>
bool until(int timeoutMs, Probe&& probe) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!probe()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // polling, bounded by the deadline
    }
    return true;
}

std::string timedOut(int timeoutMs, const std::string& what) {
    return "nothing within " + std::to_string(timeoutMs) + " ms: waited for " + what;
}

bool isRecordAt(const Request& r, std::uint32_t group, std::uint32_t offset) {
    return r.kind == Request::Kind::readWrite && r.result == 0 && r.indexGroup == group && r.indexOffset == offset;
}

// The records the kernel took at the group and offset, in arrival order.
std::vector<Nc2Decoded> recordsAt(KernelSimulator& sim, std::uint32_t group, std::uint32_t offset) {
    std::vector<Nc2Decoded> out;
    for (const Request& r : sim.requests())
        if (isRecordAt(r, group, offset)) out.push_back(nc2Decode(offset, r.data));
    return out;
}

std::vector<std::string> goldenLines(const std::filesystem::path& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = in.is_open();
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

} // namespace

std::string ScriptRunner::execute(const ScriptStep& step) {
    const auto u32 = [&](std::size_t i) { return static_cast<std::uint32_t>(step.numbers[i]); };
    const auto i32 = [&](std::size_t i) { return static_cast<std::int32_t>(step.numbers[i]); };
    std::string failure;
    switch (step.kind) {
    case StepKind::timeout: timeoutMs_ = i32(0); return {};
    case StepKind::channel: sim_.addChannel({i32(0), step.text, i32(1), i32(2)}); return {};
    case StepKind::group: sim_.addGroup({i32(0), i32(1), i32(2), step.text, i32(3), i32(4)}); return {};
    case StepKind::lookup: {
        VekAddr found;
        if (!until(timeoutMs_, [&] { return sim_.findPort(step.text.c_str(), found) == 0; }))
            return timedOut(timeoutMs_, "the name '" + step.text + "' at the router");
        user_ = found;
        return {};
    }
    case StepKind::awaitPort: {
        const VekAddr address{vekLocalNetId(), static_cast<std::uint16_t>(step.numbers[0])};
        if (!until(timeoutMs_, [&] {
                char name[kZelDeviceNameSize];
                ZelVersion version;
                return sim_.client().ZelSyncReadDeviceInfoReq(address, name, version) == 0;
            }))
            return timedOut(timeoutMs_, "port " + std::to_string(step.numbers[0]) + " to answer");
        return {};
    }
    case StepKind::write:
    case StepKind::read:
    case StepKind::command: {
        VekAddr address;
        if (!resolve(step.target, address, failure)) return failure;
        std::uint32_t result = 0;
        std::vector<std::uint8_t> answer;
        if (step.kind == StepKind::write) {
            result = sim_.write(u32(0), u32(1), step.data, address);
        } else if (step.kind == StepKind::read) {
            result = sim_.read(u32(0), u32(1), u32(2), answer, address);
        } else {
            VekCmd response;
            result = sim_.command(static_cast<std::uint16_t>(step.numbers[0]), step.data, response, address);
            if (result == 0) result = response.head().errorCode;
        }
        if (result != step.code)
            return "answered " + hexNumber(result) + ", expected " + hexNumber(step.code);
        if (step.dataGiven && answer != step.data)
            return "read " + hexOf(answer) + ", expected " + hexOf(step.data);
        return {};
    }
    case StepKind::expectRecord: {
        const auto key = std::pair{u32(0), u32(1)};
        std::size_t& cursor = recordCursor_[key];
        std::vector<Nc2Decoded> records;
        const std::string what = "record " + std::to_string(step.numbers[2]) + " at " + hexNumber(u32(0)) +
                                 " offset " + hexNumber(u32(1));
        if (!until(timeoutMs_, [&] {
                records = recordsAt(sim_, u32(0), u32(1));
                return records.size() > cursor;
            }))
            return timedOut(timeoutMs_, what);
        const Nc2Decoded& record = records[cursor++];
        if (record.type != i32(2)) return "got " + record.text() + " (type " + std::to_string(record.type) + "), expected " + what;
        if (step.recordKind && record.mfuncKind != *step.recordKind)
            return "got " + record.text() + ", expected kind " + std::to_string(*step.recordKind);
        if (step.textGiven && record.text() != step.text) return "got '" + record.text() + "', expected '" + step.text + "'";
        return {};
    }
    case StepKind::expectRecords: {
        bool found = false;
        const std::vector<std::string> golden = goldenLines(baseDir_ / step.text, found);
        if (!found) return "cannot read '" + (baseDir_ / step.text).string() + "'";
        const auto key = std::pair{u32(0), u32(1)};
        std::size_t& cursor = recordCursor_[key];
        std::vector<Nc2Decoded> records;
        until(timeoutMs_, [&] {
            records = recordsAt(sim_, u32(0), u32(1));
            return records.size() >= cursor + golden.size();
        });
        for (std::size_t i = 0; i < golden.size(); ++i) {
            if (cursor + i >= records.size())
                return timedOut(timeoutMs_, "record " + std::to_string(i + 1) + " of '" + step.text + "': " + golden[i]);
            const std::string got = records[cursor + i].text();
            if (got != golden[i])
                return "record " + std::to_string(i + 1) + " of '" + step.text + "' is '" + got + "', expected '" +
                       golden[i] + "'";
        }
        cursor += golden.size();
        return {};
    }
    case StepKind::expectWrite: {
        const auto key = std::pair{u32(0), u32(1)};
        std::size_t& cursor = writeCursor_[key];
        std::vector<std::vector<std::uint8_t>> writes;
        const std::string what = "a write to " + hexNumber(u32(0)) + " offset " + hexNumber(u32(1));
        if (!until(timeoutMs_, [&] {
                writes.clear();
                for (const Request& r : sim_.requests())
                    if (r.kind == Request::Kind::write && r.indexGroup == u32(0) && r.indexOffset == u32(1))
                        writes.push_back(r.data);
                return writes.size() > cursor;
            }))
            return timedOut(timeoutMs_, what);
        const std::vector<std::uint8_t>& data = writes[cursor++];
        if (step.dataGiven && data != step.data) return what + " carried " + hexOf(data) + ", expected " + hexOf(step.data);
        return {};
    }
    case StepKind::expectWords: {
        std::size_t& cursor = wordCursor_[i32(0)];
        const std::size_t wanted = step.numbers.size() - 1;
        std::vector<std::int32_t> words;
        until(timeoutMs_, [&] {
            words = sim_.stateWords(i32(0));
            return words.size() >= cursor + wanted;
        });
        for (std::size_t i = 0; i < wanted; ++i) {
            const std::int32_t expected = i32(i + 1);
            if (cursor + i >= words.size())
                return timedOut(timeoutMs_, "state word " + std::to_string(expected) + " of channel " +
                                                std::to_string(i32(0)));
            if (words[cursor + i] != expected)
                return "state word " + std::to_string(words[cursor + i]) + " of channel " + std::to_string(i32(0)) +
                       ", expected " + std::to_string(expected);
        }
        cursor += wanted;
        return {};
    }
    case StepKind::axes: {
        AxisValues positions{};
        std::copy(step.reals.begin(), step.reals.end(), positions.begin());
        sim_.setAxisPositions(i32(0), positions);
        return {};
    }
    case StepKind::serve: {
        const std::size_t wanted = static_cast<std::size_t>(step.numbers[0]);
        const std::size_t failures = sim_.serveFailures();
        std::size_t sent = 0;
        if (!until(timeoutMs_, [&] {
                sent += sim_.serveEvents();
                return sent >= wanted;
            }))
            return timedOut(timeoutMs_, std::to_string(wanted) + " axis queries or sync records to serve (served " +
                                            std::to_string(sent) + ")");
        if (sim_.serveFailures() != failures)
            return std::to_string(sim_.serveFailures() - failures) + " served commands refused or not answered";
        return {};
    }
    }
    return "unknown step";
}

} // namespace KernelSim
