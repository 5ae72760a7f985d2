// kernelsim: hosts the Vek router and plays the NC kernel from a script, for manual runs
// of "vordash nif=nc2" and for the end-to-end tests.
//
//   kernelsim [--router <socket>] <script>
//
// Exit codes: 0 every step passed, 1 a step failed, 2 the script has errors (all are
// listed, nothing runs), 3 the router or the kernel's port could not be had.

#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "support/kernelsim/kernel_simulator.h"
#include "support/kernelsim/kernelsim_script.h"

namespace {

constexpr int kPassed = 0;
constexpr int kStepFailed = 1;
constexpr int kScriptErrors = 2;
constexpr int kNoRouter = 3;

int usage() {
    std::cerr << "usage: kernelsim [--router <socket>] <script>\n";
    return kScriptErrors;
}

} // namespace

int main(int argc, char** argv) {
    std::string router = vekRouterPath();
    std::string scriptPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--router") == 0 && i + 1 < argc)
            router = argv[++i];
        else if (scriptPath.empty() && argv[i][0] != '-')
            scriptPath = argv[i];
        else
            return usage();
    }
    if (scriptPath.empty()) return usage();

    std::ifstream in(scriptPath, std::ios::binary);
    if (!in) {
        std::cerr << "kernelsim: cannot read " << scriptPath << "\n";
        return kScriptErrors;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const KernelSim::Script script = KernelSim::parseScript(text);
    if (!script.errors.empty()) {
        for (const std::string& error : script.errors) std::cerr << "kernelsim: " << scriptPath << ": " << error << "\n";
        return kScriptErrors;
    }

    try {
        // The simulator's own ports find the router through the same variable.
        ::setenv("VORDASH_VEK_ROUTER", router.c_str(), 1);
        KernelSim::KernelSimulator sim(router);
        std::cout << "kernelsim: router at " << router << std::endl;
        KernelSim::ScriptRunner runner(sim, std::filesystem::path(scriptPath).parent_path(), std::cout);
        const std::string failure = runner.run(script);
        if (!failure.empty()) {
            std::cerr << "kernelsim: " << scriptPath << ": " << failure << "\n";
            return kStepFailed;
        }
        std::cout << "kernelsim: script passed" << std::endl;
        return kPassed;
    } catch (const std::exception& e) {
        std::cerr << "kernelsim: " << e.what() << "\n";
        return kNoRouter;
    }
}
