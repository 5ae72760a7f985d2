#include "support/corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/type.h"

namespace Karsto::test {

namespace {

std::string trimmed(std::string text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    const size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

HostExternal hostExternal(const std::string& declaration, const std::string& where) {
    // name : TYPE := value
    const size_t colon = declaration.find(':');
    const size_t assign = declaration.find(":=");
    if (colon == std::string::npos || assign == std::string::npos || assign <= colon)
        throw std::runtime_error(where + ": host declaration '" + declaration + "' is not 'name : TYPE := value'");
    HostExternal external;
    external.name = trimmed(declaration.substr(0, colon));
    const std::string type = upper(trimmed(declaration.substr(colon + 1, assign - colon - 1)));
    const std::string value = upper(trimmed(declaration.substr(assign + 2)));
    if (type == "LREAL")
        external.type = typeLreal;
    else if (type == "INT")
        external.type = typeInt;
    else if (type == "BOOL")
        external.type = typeBool;
    else
        throw std::runtime_error(where + ": host type '" + type + "' is not LREAL, INT or BOOL");
    if (value == "TRUE" || value == "FALSE")
        external.value = value == "TRUE" ? 1.0 : 0.0;
    else
        external.value = std::stod(value);
    return external;
}

} // namespace

std::vector<std::string> corpusFiles(const std::string& directory) {
    std::vector<std::string> files;
    if (!std::filesystem::is_directory(directory)) return files;
    // nc2/ holds the kernel-record streams, which the kernel link's tests run in a
    // kernel channel; their .expected files are in the records' form, not the commands'.
    const std::filesystem::path kernelStreams = std::filesystem::path(directory) / "nc2";
    for (auto it = std::filesystem::recursive_directory_iterator(directory);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        const auto& entry = *it;
        if (entry.is_directory() && entry.path() == kernelStreams) {
            it.disable_recursion_pending();
            continue;
        }
        if (entry.is_regular_file() && entry.path().extension() == ".jyx")
            files.push_back(std::filesystem::relative(entry.path(), directory).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

CorpusCase readCorpusCase(const std::string& directory, const std::string& relativePath) {
    prepareLanguageRuntime(); // the host types
    CorpusCase c;
    c.name = relativePath.substr(0, relativePath.size() - std::string(".jyx").size());
    std::ifstream in(std::filesystem::path(directory) / relativePath, std::ios::binary);
    if (!in) throw std::runtime_error(relativePath + ": cannot open");
    std::ostringstream text;
    text << in.rdbuf();
    c.source = text.str();

    const std::filesystem::path expected =
        std::filesystem::path(directory) / (c.name + ".expected");
    if (std::filesystem::is_regular_file(expected)) {
        std::ifstream golden(expected, std::ios::binary);
        std::ostringstream goldenText;
        goldenText << golden.rdbuf();
        c.golden = goldenText.str();
    }

    static const std::string forms[] = {"expect error:", "expect block:", "expect:", "host:"};
    size_t at = 0;
    while ((at = c.source.find("(*", at)) != std::string::npos) {
        const size_t close = c.source.find("*)", at + 2);
        if (close == std::string::npos) break;
        const std::string body = c.source.substr(at + 2, close - at - 2);
        at = close + 2;
        const std::string head = trimmed(body);
        for (const std::string& form : forms) {
            if (!head.starts_with(form)) continue;
            // One blank after the colon and one before "*)" frame the text.
            std::string value = body.substr(body.find(form) + form.size());
            if (value.starts_with(" ")) value.erase(0, 1);
            if (value.ends_with(" ")) value.pop_back();
            if (form == "expect error:")
                c.error = value;
            else if (form == "expect block:")
                c.blocks.push_back(value);
            else if (form == "expect:")
                c.output += value;
            else
                c.options.externals.push_back(hostExternal(value, relativePath));
            break;
        }
    }
    return c;
}

std::vector<std::string> checkCorpusCase(const CorpusCase& c) {
    std::vector<std::string> differences;
    const HarnessResult result = c.golden ? runNcProgram(c.source, c.options) : compileAndRun(c.source, c.options);
    if (c.error) {
        if (result.errorText() != *c.error)
            differences.push_back("error '" + result.errorText() + "', expected '" + *c.error + "'");
    } else {
        if (!result.ok()) differences.push_back("failed: " + result.errorText());
        if (result.ran && result.sp != kStackBottom)
            differences.push_back("sp " + std::to_string(result.sp) + " at the end, expected 0x100000");
    }
    if (result.output != c.output)
        differences.push_back("output '" + result.output + "', expected '" + c.output + "'");
    if (c.golden && result.ncText() != *c.golden)
        differences.push_back("commands:\n" + result.ncText() + "expected (" + c.name + ".expected):\n" + *c.golden);
    std::vector<std::string> blocks;
    for (const FakeProcessor::Block& block : result.blocks) blocks.push_back(blockText(block));
    if (blocks != c.blocks) {
        std::string got, expected;
        for (const std::string& b : blocks) got += "\n  " + b;
        for (const std::string& b : c.blocks) expected += "\n  " + b;
        differences.push_back("blocks:" + got + "\nexpected:" + expected);
    }
    return differences;
}

} // namespace Karsto::test
