#include "host/command_line.h"

#include <array>
#include <cstdio>
#include <locale>
#include <sstream>

#include "core/log.h"
#include "host/platform/registry_store.h"

namespace Karsto {

namespace {

// Help texts byte for byte, trailing blanks included. Order matters: it is the order of
// the usage text and of the registry save and load.
constexpr std::array<OptionDef, 24> kOptions = {{
    {"file", "Path of JYX file to be executed.", OptionKind::string},
    {"searchpath", "Search paths for include, separated by ';'. Each path must end on ''.", OptionKind::string},
    {"nif", "Selects the NC-interface. This is currently 'html', 'null', 'nc2l', 'nc2' or 'service' (default). ", OptionKind::string},
    {"group", "NC group to be used for nif=nc2l. ", OptionKind::string},
    {"disablemask", "Bitmask to controll '/'-suppression of gcodes (default=0). Used only for nif='null'/'html'.", OptionKind::integer},
    {"lang", "Selects the input language. This is currently 'jyx' (default) or'jyxmb'. ", OptionKind::string},
    {"logFile", "Write log to the given file.", OptionKind::string},
    {"logFileAppend", "Append, if file is existing.", OptionKind::flag},
    {"logWin", "Write log to windows event-log.", OptionKind::flag},
    {"logStderr", "Write log to standard error.", OptionKind::flag},
    {"debugGCode", "Log executed G-codes.", OptionKind::flag},
    {"debugGProcessor", "Log operations of GProcessor.", OptionKind::flag},
    {"debugKiState", "Log state of kernel interface.", OptionKind::flag},
    {"debugKiIO", "Log IO of kernel interface.", OptionKind::flag},
    {"debugKiGeo", "Log geometric and related commands that are send to NC kernel.", OptionKind::flag},
    {"debugController", "Log controller of interpreter.", OptionKind::flag},
    {"debugNCmdQueue", "Log NC queue.", OptionKind::flag},
    {"registryLoad", "Load parameters from registry. If no parameters are supplied, this option is implied.", OptionKind::flag},
    {"registrySave", "Save parameters to registry and exit.", OptionKind::flag},
    {"serviceInstall", "Install windows service. An existing service is replaced.", OptionKind::flag},
    {"serviceUninstall", "Uninstall windows service and restore previous service", OptionKind::flag},
    {"secEncrypt", "Encrypt given file. ", OptionKind::string},
    {"debuggerWait", "Wait for debugger to attach. ", OptionKind::flag},
    {"help", "Print this information", OptionKind::flag},
}};
static_assert(kOptions.size() == 24, "the program has 24 options");

// A registry value longer than this is refused by the read (error 234) and skipped.
constexpr size_t kMaxValueBytes = 1024;

const char* valueSuffix(OptionKind kind) {
    switch (kind) {
    case OptionKind::flag:
        return "";
    case OptionKind::string:
        return "=<string>";
    case OptionKind::integer:
        return "=<int>";
    case OptionKind::real:
        return "=<float>";
    }
    return "";
}

void writeStderr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace

std::span<const OptionDef> optionTable() { return kOptions; }

CommandLine::CommandLine(std::span<const OptionDef> table)
    : table_(table), values_(table.size()) {
    for (size_t row = 0; row < table_.size(); ++row)
        nameIndex_.emplace(table_[row].name, static_cast<int32_t>(row));
}

void CommandLine::parse(int argc, const char* const* argv) {
    values_.assign(table_.size(), OptionValue());
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const size_t equals = word.find('=');
        if (equals == std::string::npos)
            optionSet(word, "");
        else
            optionSet(word.substr(0, equals), word.substr(equals + 1));
    }
}

int32_t CommandLine::rowOf(const std::string& name) const {
    const auto found = nameIndex_.find(name);
    return found == nameIndex_.end() ? -1 : found->second;
}

void CommandLine::apply(int32_t row, const std::string& value) {
    OptionValue& option = values_[static_cast<size_t>(row)];
    // A conversion that throws leaves the row as it was.
    switch (table_[static_cast<size_t>(row)].kind) {
    case OptionKind::flag:
        break;
    case OptionKind::string:
        option.text = value;
        break;
    case OptionKind::integer:
        option.integer = std::stoll(value, nullptr, 10);
        break;
    case OptionKind::real:
        option.real = std::stod(value);
        break;
    }
    option.set = true;
}

void CommandLine::optionSet(const std::string& name, const std::string& value) {
    const int32_t row = rowOf(name);
    if (row >= 0) {
        apply(row, value);
        return;
    }
    const std::string dashes(80, '-');
    writeStderr(dashes + "\n" + usageText() + dashes + "\n\nERROR: Invalid command line option '" +
                name + "'. Valid options are shown above.\n");
}

std::string CommandLine::usageText() const {
    std::string text;
    for (const OptionDef& option : table_) {
        text += option.name;
        text += valueSuffix(option.kind);
        text += "\n        ";
        text += option.help;
        text += "\n\n";
    }
    return text;
}

void CommandLine::usagePrint() const { writeStderr(usageText()); }

bool CommandLine::flagGet(const std::string& name) const {
    const int32_t row = rowOf(name);
    return row >= 0 && values_[static_cast<size_t>(row)].set;
}

std::string CommandLine::stringGet(const std::string& name, const std::string& defaultValue) const {
    const int32_t row = rowOf(name);
    return row >= 0 && values_[static_cast<size_t>(row)].set ? values_[static_cast<size_t>(row)].text
                                                             : defaultValue;
}

int64_t CommandLine::intGet(const std::string& name, int64_t defaultValue) const {
    const int32_t row = rowOf(name);
    return row >= 0 && values_[static_cast<size_t>(row)].set
               ? values_[static_cast<size_t>(row)].integer
               : defaultValue;
}

void CommandLine::registryLoad(const std::string& keyPath) {
    const RegistryStore store = RegistryStore::fromEnvironment();
    RegistryKey key;
    RegistryStatus status = store.openKey(keyPath, key);
    if (status != RegistryStatus::success) {
        globalLog.warning("Error opening registry key (%d)", static_cast<int>(status));
        return;
    }
    for (size_t row = 0; row < table_.size(); ++row) {
        const char* name = table_[row].name;
        // One byte more than the read may fill, for the terminating NUL.
        std::array<unsigned char, kMaxValueBytes + 1> buffer;
        uint32_t type = 0;
        uint32_t size = 0;
        status = key.queryValue(name, type, std::span(buffer.data(), kMaxValueBytes), size);
        if (status == RegistryStatus::notFound) continue;
        if (status != RegistryStatus::success) {
            globalLog.warning("Error getting registry value (%d)", static_cast<int>(status));
            continue;
        }
        buffer[size] = 0;
        const std::string text(reinterpret_cast<const char*>(buffer.data())); // up to a NUL
        globalLog.info("Loading parameter %s='%s' from registry", name, text.c_str());
        apply(static_cast<int32_t>(row), text);
    }
    status = key.close();
    if (status != RegistryStatus::success)
        globalLog.error("Error closing registry key (%d)", static_cast<int>(status));
}

void CommandLine::registrySave(const std::string& keyPath) const {
    const RegistryStore store = RegistryStore::fromEnvironment();
    RegistryStatus status = store.deleteKey(keyPath);
    if (status != RegistryStatus::success)
        globalLog.warning("Error deleting registry key (%d)", static_cast<int>(status));
    RegistryKey key;
    status = store.createKey(keyPath, key);
    if (status != RegistryStatus::success) {
        globalLog.error("Error creating registry key (%d)", static_cast<int>(status));
        return;
    }
    for (size_t row = 0; row < table_.size(); ++row) {
        const OptionValue& option = values_[row];
        if (!option.set) continue;
        std::string text;
        switch (table_[row].kind) {
        case OptionKind::flag:
            break;
        case OptionKind::string:
            text = option.text;
            break;
        case OptionKind::integer:
            text = std::to_string(option.integer);
            break;
        case OptionKind::real: {
            std::ostringstream out; // the default form: six significant digits
            out.imbue(std::locale::classic());
            out << option.real;
            text = out.str();
            break;
        }
        }
        // The stored length includes the terminating NUL.
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.c_str());
        status = key.setValue(table_[row].name, static_cast<uint32_t>(RegistryType::string),
                              std::span(bytes, text.size() + 1));
        if (status != RegistryStatus::success)
            globalLog.error("Error setting registry value (%d)", static_cast<int>(status));
    }
    status = key.close();
    if (status != RegistryStatus::success)
        globalLog.error("Error closing registry key (%d)", static_cast<int>(status));
}

} // namespace Karsto
