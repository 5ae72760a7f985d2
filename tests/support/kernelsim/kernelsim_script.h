#pragma once
// Scripts for the kernel simulator: plain text, one step per line, run in order by
// ScriptRunner against a KernelSimulator. '#' starts a comment; blank lines are skipped.
// Every step that waits has a deadline, and a missed one names what it waited for.
//
// Steps (numbers decimal or 0x hexadecimal; <data> is a list of items):
//   timeout <ms>                          deadline of the waits that follow (default 10000)
//   channel <id> <name> <bufferSize> <itpType>
//   group <id> <channelType> <type> <name> <channelId> <numberInChannel>
//   lookup <name>                         wait until the router knows the name; the port
//                                         becomes the target "user"
//   await-port <port>                     wait until the port answers a device-info read
//   write <target> <group> <offset> <data> -> <code>
//   read <target> <group> <offset> <length> -> <code> [<data>]
//   command <target> <cmdId> <data> -> <code>
//                                         the answer's code must be <code>; a read's bytes
//                                         must equal <data> when it is given
//   expect-record <group> <offset> <type> [kind=<n>] [text=<text>]
//                                         the group's next record (of the offset)
//   expect-records <group> <offset> <file>
//                                         the group's next records, one text line each as
//                                         in the file (relative to the script)
//   expect-write <group> <offset> [<data>]
//                                         the interpreter's next write there
//   expect-words <channel> <word>...      the channel's next state words
//   axes <channel> <x> <y> <z> <q1> <q2> <q3> <q4> <q5>
//                                         the positions axis queries are answered with
//   serve <count>                         answers axis queries and echoes taken sync
//                                         records, in arrival order, until <count> were
//                                         sent; each must be answered 0
// Targets: "user" (the looked-up name), "interp" (port 11600) or a port number.
// Data items: i32:<n> u32:<n> u16:<n> u8:<n> f64:<x> hex:<hex digits> zeros:<n> nul
// and strings in double quotes (taken as written, no escapes, no NUL added).

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/zel/vek_types.h"

namespace KernelSim {

class KernelSimulator;

enum class StepKind {
    timeout,
    channel,
    group,
    lookup,
    awaitPort,
    write,
    read,
    command,
    expectRecord,
    expectRecords,
    expectWrite,
    expectWords,
    axes,
    serve,
};

struct StepTarget {
    enum class Kind { user, interpreter, port };
    Kind kind = Kind::interpreter;
    std::uint16_t port = 0;
};

struct ScriptStep {
    int line = 0;
    StepKind kind = StepKind::timeout;
    StepTarget target;
    std::vector<std::int64_t> numbers; // the step's numeric arguments in order
    std::vector<double> reals;         // axis positions
    std::string text;                  // a name, a file or a record's text
    std::vector<std::uint8_t> data;
    bool dataGiven = false;            // read, expect-write: compare the bytes
    std::uint32_t code = 0;            // the answer expected
    std::optional<std::int32_t> recordKind;
    bool textGiven = false;
};

struct Script {
    std::vector<ScriptStep> steps;
    // "line <n>: <message>" for every line that is no valid step.
    std::vector<std::string> errors;
};

// Never throws for any text; a script with errors is not run.
Script parseScript(std::string_view text);

// Default deadline of every wait.
inline constexpr int kDefaultTimeoutMs = 10000;
// The largest deadline a script may set.
inline constexpr int kMaxTimeoutMs = 600000;

class ScriptRunner {
public:
    // baseDir: where the files named by expect-records are looked for; progress: one
    // line per step done.
    ScriptRunner(KernelSimulator& sim, std::filesystem::path baseDir, std::ostream& progress);

    // Runs the steps in order; empty when all passed, else "line <n>: <what failed>".
    std::string run(const Script& script);

private:
    // Empty when the step passed.
    std::string execute(const ScriptStep& step);
    bool resolve(const StepTarget& target, VekAddr& address, std::string& failure) const;

    KernelSimulator& sim_;
    std::filesystem::path baseDir_;
    std::ostream& progress_;
    int timeoutMs_ = kDefaultTimeoutMs;
    std::optional<VekAddr> user_;
    // How many of each stream the expectations have consumed.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::size_t> recordCursor_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::size_t> writeCursor_;
    std::map<std::int32_t, std::size_t> wordCursor_;
};

} // namespace KernelSim
