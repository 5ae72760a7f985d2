#include "host/program_entry.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <limits>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "codegen/codegen_install.h"
#include "core/exception.h"
#include "core/host_path.h"
#include "core/log.h"
#include "core/type.h"
#include "core/type_pointer.h"
#include "core/type_string.h"
#include "core/variable.h"
#include "frontend/scanner_input.h"
#include "frontend/scrambled_source.h"
#include "gcode/gprocessor_nc2.h"
#include "gcode/ninterface_null.h"
#include "host/command_line.h"
#include "host/controller.h"
#include "host/controller_nc2_service.h"
#include "host/controller_nc2_zel.h"
#include "host/kernel/channel_nc2.h"
#include "host/kernel/group_nc2.h"
#include "host/kernel/kernel_interface_nc2_light.h"
#include "host/kernel_interface_null.h"
#include "host/platform/win_process.h"
#include "host/syslog_event_sink.h"

namespace Karsto {

volatile bool debuggerWaitFlag = false;

namespace {

// Test seam: with this variable set the event-log lines are appended to the file it
// names, "<event type> <line>" each, instead of going to the system log, so tests can
// watch the event-log switch without touching the system log.
constexpr const char* kEventLogFileVariable = "VORDASH_EVENTLOG_FILE";

class FileEventSink final : public EventSink {
public:
    explicit FileEventSink(std::string path) : path_(std::move(path)) {}

    void report(EventType type, const std::string& line) override {
        std::ofstream out(path_, std::ios::app | std::ios::binary);
        out << static_cast<int32_t>(type) << ' ' << line << '\n';
    }

private:
    std::string path_;
};

// Installs the event sink for the process and removes it again at the end.
class EventSinkInstall {
public:
    EventSinkInstall() {
        if (const char* path = std::getenv(kEventLogFileVariable); path != nullptr && *path != '\0')
            sink_ = std::make_unique<FileEventSink>(path);
        else
            sink_ = std::make_unique<SyslogEventSink>();
        globalLog.setEventSink(sink_.get());
    }
    ~EventSinkInstall() { globalLog.setEventSink(nullptr); }
    EventSinkInstall(const EventSinkInstall&) = delete;
    EventSinkInstall& operator=(const EventSinkInstall&) = delete;

private:
    std::unique_ptr<EventSink> sink_;
};

// The elementary types, the default string types and the null-pointer type from
// start-up to exit, in the order their headers give.
class LanguageTypes {
public:
    LanguageTypes() {
        createElementaryTypes();
        createDefaultStringTypes();
        createNullPointerType();
        // Once per process: the code generator's seams in the core.
        static std::once_flag once;
        std::call_once(once, [] { installCodeGenerator(); });
    }
    ~LanguageTypes() {
        destroyElementaryTypes();
        destroyDefaultStringTypes();
        destroyNullPointerType();
    }
    LanguageTypes(const LanguageTypes&) = delete;
    LanguageTypes& operator=(const LanguageTypes&) = delete;
};

// Splits at the separator: a piece runs to the next separator or the end, and splitting
// stops once the next piece would start at or past the end.
std::vector<std::string> splitPieces(const std::string& value, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < value.size()) {
        size_t end = value.find(separator, start);
        if (end == std::string::npos) end = value.size();
        pieces.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// The record buffer of every channel of the console run against the kernel.
constexpr int32_t kChannelBufferSize = 0x10000;
// The pause before the process ends once the service has stopped.
constexpr uint32_t kServiceEndPauseMs = 1000;

void printHelp(const CommandLine& options) {
    std::cerr << "JYX Interpreter (build " << __DATE__ << " " << __TIME__ << ")\n\n"
              << "Command Line Parameters: \n";
    options.usagePrint();
}

// Scrambles one source file into the same name with ".e" appended.
void encryptSource(const std::string& path) {
    std::ifstream in(hostPath(path), std::ios::binary);
    checkSyntax(in.is_open(), "Can not open file '%s'", path.c_str());
    std::string plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    checkSyntax(!in.bad(), "Can not open file '%s'", path.c_str());
    const std::string scrambled = scrambleSource(plain);
    std::ofstream out(hostPath(path + ".e"), std::ios::binary | std::ios::trunc);
    checkSyntax(out.is_open(), "Can not open file '%s.e'", path.c_str());
    out.write(scrambled.data(), static_cast<std::streamsize>(scrambled.size()));
    out.flush();
    // A file written only in part must not pass for a scrambled source.
    checkSyntax(out.good(), "Can not open file '%s.e'", path.c_str());
}

void setLogOutputs(const CommandLine& options) {
    globalLog.setStderr(options.flagGet("logStderr"));
    globalLog.setEventLog(options.flagGet("logWin"));
    if (options.flagGet("logFile"))
        globalLog.openFile(options.stringGet("logFile", ""), options.flagGet("logFileAppend"));
}

void setDebugLevels(const CommandLine& options) {
    // The levels with an option of the same name; debugCode, debugStackmachine and
    // debugStackOp have none and stay off.
    static constexpr struct {
        const char* option;
        LogLevel level;
    } kDebugLevels[] = {
        {"debugGCode", LogLevel::debugGCode},           {"debugGProcessor", LogLevel::debugGProcessor},
        {"debugKiState", LogLevel::debugKiState},       {"debugKiIO", LogLevel::debugKiIO},
        {"debugKiGeo", LogLevel::debugKiGeo},           {"debugController", LogLevel::debugController},
        {"debugNCmdQueue", LogLevel::debugNCmdQueue},
    };
    for (const auto& row : kDebugLevels) globalLog.setLevel(row.level, options.flagGet(row.option));
}

// The offline console run: one channel per input file, no kernel. Returns the exit code;
// a load or compile error leaves as ExceptionKarsto after its task was reported.
int runOffline(const std::vector<std::string>& files, bool html, int64_t disableMask) {
    globalLog.setStderr(true);

    // Declared in the order that lets each part outlive its users: the machines read the
    // R-parameters' names and the outputs the inputs' listings; the kernel interface,
    // which deletes the channels, goes first, then the controller, then the variables.
    std::vector<std::unique_ptr<Variable>> rParameters;
    Controller controller;
    std::vector<std::shared_ptr<ScannerInputFile>> inputs;
    KernelInterfaceNull kernel(&controller);
    controller.kernel = &kernel;

    std::vector<ControllerTask*> tasks;
    for (const std::string& file : files) tasks.push_back(kernel.channelCreate(file));

    rParameters = declareRParameters(controller, tasks);

    for (ControllerTask* task : tasks) {
        inputs.push_back(std::make_shared<ScannerInputFile>());
        ScannerInputFile& input = *inputs.back();
        input.load(task->name); // an error here is not the task's: nothing is reported
        NInterfaceNull& output = *kernel.outputs.at(task);
        output.setSource(&input);
        if (html) {
            output.previewOn = true;
            output.outputFile = task->name + ".html";
        }
        task->compileInput(inputs.back());
        kernel.processors.at(task)->disableMask = static_cast<uint64_t>(disableMask);
        task->start();
    }

    controller.kernelInterfaceStart();
    controller.stopWhenIdle = true;
    controller.run();
    return 0;
}

// The main use: the interpreter as the service, or the service's installation.
int runService(const CommandLine& options) {
    if (options.flagGet("serviceInstall")) {
        globalLog.info("Installing JYX-Interpreter service");
        ControllerNc2Service::serviceInstall();
        return 0;
    }
    if (options.flagGet("serviceUninstall")) {
        globalLog.info("Uninstalling JYX-Interpreter service");
        ControllerNc2Service::serviceUninstall();
        return 0;
    }
    waitForDebugger();
    globalLog.info("Start JYX-Interpreter service");
    // Returns when the service has stopped, or at once when no manager started us.
    ControllerNc2Service::run();
    globalLog.info("Stop JYX-Interpreter service");
    Sleep(kServiceEndPauseMs);
    return 0;
}

// The service's work as a Zel user server on the console.
int runUserServer() {
    globalLog.setStderr(true);
    ControllerNc2Zel server;
    server.run();
    return 0;
}

// The console run of the input files against the kernel's channels: channel i gets
// group i of the list. The link is never started, so no initialisation replaces the
// channels and nothing stops the run but the process's end.
int runChannels(const std::vector<std::string>& files, const std::string& groupValue) {
    globalLog.setStderr(true);
    std::vector<int32_t> groups;
    for (const std::string& piece : splitFileList(groupValue)) groups.push_back(groupIdOf(piece));
    // Before anything is created: no channel writes a tool-data file.
    if (groups.size() != files.size()) {
        std::cerr << "Number of group IDs must match the number of supplied input files\n";
        return 1;
    }

    // The link goes first: its channels remove their tasks from the controller.
    Controller controller;
    KernelInterfaceNc2Light kernel(&controller, defaultDataPath);
    controller.kernel = &kernel;
    std::vector<ControllerTask*> tasks;
    for (size_t i = 0; i < files.size(); ++i) {
        const int32_t id = static_cast<int32_t>(i);
        auto* channel = new ChannelNc2(&kernel, id, "Channel " + std::to_string(id), kChannelBufferSize, 0);
        kernel.channelAdd(channel);
        channel->groupAdd(
            std::make_unique<GroupNc2>(groups[i], 0, "Group " + std::to_string(groups[i]), channel, 0));
        tasks.push_back(channel->task);
    }
    // No R-parameters in this mode.
    controller.sharedMemoryBind();
    for (size_t i = 0; i < files.size(); ++i) {
        tasks[i]->compileFile(files[i]);
        tasks[i]->start();
    }
    controller.stopWhenIdle = true;
    controller.run();
    return 0;
}

int runModes(int argc, const char* const* argv) {
    CommandLine options;
    options.parse(argc, argv);

    if (options.flagGet("help")) {
        printHelp(options);
        return 0;
    }
    if (options.flagGet("registrySave")) {
        options.registrySave(kOptionsRegistryKey);
        return 0;
    }
    if (argc <= 1 || options.flagGet("registryLoad")) options.registryLoad(kOptionsRegistryKey);

    debuggerWaitFlag = options.flagGet("debuggerWait");

    if (options.flagGet("secEncrypt")) {
        encryptSource(options.stringGet("secEncrypt", ""));
        return 0;
    }

    // The data directory, once: the default search path and the kernel link's directory.
    setDefaultDataPathFromEnvironment();
    std::string searchPath = options.stringGet("searchpath", "");
    if (searchPath.empty()) searchPath = defaultDataPath;
    includeSearchPaths = splitSearchPath(searchPath);

    setLogOutputs(options);
    setDebugLevels(options);

    const std::vector<std::string> files = splitFileList(options.stringGet("file", "input.jyx"));
    // "lang" has no effect: every compile uses "jyx".
    const int64_t disableMask = options.intGet("disablemask", 0);

    const std::string nif = options.stringGet("nif", "service");
    if (nif == "service") return runService(options);
    if (nif == "nc2") return runUserServer();
    if (nif == "nc2l") return runChannels(files, options.stringGet("group", ""));
    if (nif == "null" || nif == "html") return runOffline(files, nif == "html", disableMask);
    std::cerr << "Invalid value for nif\n";
    return 1;
}

} // namespace

std::vector<std::unique_ptr<Variable>> declareRParameters(Controller& controller,
                                                          const std::vector<ControllerTask*>& tasks) {
    std::vector<std::unique_ptr<Variable>> variables;
    controller.sharedMemoryClear();
    for (int32_t i = 0; i < kRParameterCount; ++i) {
        // Appended rather than "r" + to_string(i): GCC 12 misreads the insert at the
        // front as an overlapping copy when optimising (-Wrestrict).
        std::string name = "r";
        name += std::to_string(i);
        auto declare = [&](ControllerTask* task) {
            variables.push_back(std::make_unique<Variable>(&controller.memoryShared, name, typeLreal,
                                                           flagBit(VariableFlags::HOST_DECLARED),
                                                           VariableAccess::NONE));
            controller.sharedVariableAdd(task, variables.back().get());
        };
        if (i < kFirstCommonRParameter) {
            for (ControllerTask* task : tasks) declare(task);
        } else {
            declare(nullptr); // every task
        }
    }
    controller.sharedMemoryBind();
    for (int64_t cell = 0; cell < controller.memoryShared.size(); ++cell) controller.sharedImage[cell] = 0.0;
    return variables;
}

int32_t groupIdOf(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    // Held in 64 bits and kept in range, so a long run of digits cannot overflow.
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(value * 10 + (text[at] - '0'), kLimit);
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min(value, kLimit - 1));
}

void waitForDebugger() {
    if (!debuggerWaitFlag) return;
    globalLog.debugController("Wait for debugger to attach...");
    while (debuggerWaitFlag) std::this_thread::sleep_for(std::chrono::milliseconds(kDebuggerPollMs));
    globalLog.debugController("debugger attached");
}

std::vector<std::string> splitSearchPath(const std::string& value) {
    std::vector<std::string> paths = splitPieces(value, ';');
    for (std::string& path : paths) {
        if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '/';
    }
    return paths;
}

std::vector<std::string> splitFileList(const std::string& value) {
    std::vector<std::string> files;
    for (std::string& piece : splitPieces(value, ',')) {
        if (!piece.empty()) files.push_back(std::move(piece));
    }
    return files;
}

int programEntry(int argc, const char* const* argv) {
    EventSinkInstall eventSink;
    globalLog.setLevel(LogLevel::error, true);
    globalLog.setLevel(LogLevel::warning, true);
    globalLog.setLevel(LogLevel::info, true);
    globalLog.setStderr(true);
    globalLog.setEventLog(true);

    LanguageTypes types;
    // Load and compile errors, a value of an int option that is no decimal number, a
    // source that secEncrypt cannot open: the text and a line end, then exit code 1.
    try {
        return runModes(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
}

} // namespace Karsto
