#pragma once
// The program entry of the vordash executable: prepares the log, the types and the
// options, carries out the one-shot actions (help, registrySave, secEncrypt) and runs
// the mode that "nif" selects. Offline ("null", "html") every input file becomes one
// channel of a controller without a kernel. With the NC kernel the interpreter runs as
// the service ("service", also without "nif"), as a Zel user server on the console
// ("nc2"), or runs the input files on channels of its own against the kernel's groups
// ("nc2l").

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Karsto {

class Controller;
class ControllerTask;
class Variable;

// The registry key of the options, below the local machine hive.
inline constexpr const char* kOptionsRegistryKey = "SOFTWARE\\Morvanek\\Pelorix3\\Nc\\Vordash";

// Set from the option "debuggerWait"; only an attached debugger clears it.
extern volatile bool debuggerWaitFlag;

// The include search paths of a "searchpath" value: split at ';' (a trailing ';' adds
// nothing, a leading or doubled one gives an empty piece); a piece that ends in neither
// '\' nor '/' gets '/' appended, so an empty piece becomes "/".
std::vector<std::string> splitSearchPath(const std::string& value);

// The input files of a "file" value: split at ',' as search paths are, empty pieces
// dropped, nothing appended.
std::vector<std::string> splitFileList(const std::string& value);

// R-parameters r0 to r999; from r900 on one variable serves every channel.
inline constexpr int32_t kRParameterCount = 1000;
inline constexpr int32_t kFirstCommonRParameter = 900;

// The R-parameters r0 to r999 of the tasks, on a cleared shared memory bound to
// every task with each cell 0.0: r_i below 900 one per task (cell i * n + j for task j of
// n), from 900 on one for every task (cell 900 * n + i - 900). The caller owns the
// variables and deletes them after the controller.
std::vector<std::unique_ptr<Variable>> declareRParameters(Controller& controller,
                                                          const std::vector<ControllerTask*>& tasks);

// A group id of the "group" value as the console run against the kernel reads it:
// leading blanks and a sign allowed, the digits up to the first other character, none
// giving 0; values beyond the 32-bit range are held at its ends.
int32_t groupIdOf(const std::string& text);

// While debuggerWaitFlag is set, tests it every kDebuggerPollMs, logging before and after.
inline constexpr int kDebuggerPollMs = 500;
void waitForDebugger();

// The whole program: returns the process exit code.
int programEntry(int argc, const char* const* argv);

} // namespace Karsto
