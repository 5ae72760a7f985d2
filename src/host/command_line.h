#pragma once
// The program's configuration: a fixed table of options, given as command-line words
// name=value or as string values of one registry key, read through three getters.
// One row order drives the usage text, the registry save and the registry load.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace Karsto {

enum class OptionKind : int32_t {
    flag = 0,    // set by any value, also "0"
    string = 1,  // the value as given; an empty value counts as set
    integer = 2, // a decimal signed 64-bit number
    real = 3,    // a decimal floating-point number
};

// One row of an option table.
struct OptionDef {
    const char* name;
    const char* help;
    OptionKind kind;
};

// The value of one row; `set` stays false until the option is given.
struct OptionValue {
    bool set = false;
    std::string text;
    int64_t integer = 0;
    double real = 0.0;
};

// The program's 24 options in row order.
std::span<const OptionDef> optionTable();

class CommandLine {
public:
    // Every row unset. A table other than optionTable() serves tests of the mechanism.
    explicit CommandLine(std::span<const OptionDef> table = optionTable());

    // Clears every value, then applies the words argv[1] .. argv[argc - 1] in order: each
    // is split at its first '=' into name and value (no '=': an empty value). A later
    // word for an option overrides an earlier one. The conversion errors of an int or
    // float value (std::invalid_argument, std::out_of_range) leave it.
    void parse(int argc, const char* const* argv);
    // Applies one option by its row's kind. A name not in the table writes the usage
    // text framed by dashed lines and an error line to standard error; nothing changes.
    void optionSet(const std::string& name, const std::string& value);

    // The usage text: per row the name (with "=<string>", "=<int>" or "=<float>" unless
    // a flag), its help text indented by eight blanks, and an empty line.
    std::string usageText() const;
    // The usage text on standard error.
    void usagePrint() const;

    // Whether the option is set; false for a name not in the table.
    bool flagGet(const std::string& name) const;
    // The stored value when the option is set, else the default.
    std::string stringGet(const std::string& name, const std::string& defaultValue) const;
    int64_t intGet(const std::string& name, int64_t defaultValue) const;

    // Reads every row's value from the key below the local machine hive of the registry
    // store (RegistryStore::fromEnvironment) and applies it as optionSet does; values
    // found replace those given before. Problems are logged, never raised, except the
    // conversion errors of int and float values.
    void registryLoad(const std::string& keyPath);
    // Replaces the key by one string value per set row; problems are logged.
    void registrySave(const std::string& keyPath) const;

    int32_t count() const { return static_cast<int32_t>(table_.size()); }
    const std::vector<OptionValue>& values() const { return values_; }

private:
    // The row of a name, or -1.
    int32_t rowOf(const std::string& name) const;
    // Applies a value to a row by its kind.
    void apply(int32_t row, const std::string& value);

    std::span<const OptionDef> table_;
    std::map<std::string, int32_t> nameIndex_;
    std::vector<OptionValue> values_;
};

} // namespace Karsto
