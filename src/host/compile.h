#pragma once
// The compile driver: turns an include-expanded source into a linked program, with fresh
// symbol tables holding the basic natives, the NC types and built-ins of the channel,
// the language's built-in functions and the channel's shared variables.

#include <memory>
#include <string>
#include <vector>

namespace Karsto {

class CodeLinked;
class GProcessor;
class ScannerInputFile;
class Variable;

// Compiles the loaded input into out. language "jyx" compiles; "jyxmb" gives a program
// without items; anything else raises ExceptionSemantic "Invalid input language '%s'".
// provider: the channel's processor, which enters the NC types and built-ins (none when
// null). externals: declared in the variable scope under their names. A syntax error
// leaves as ExceptionSyntax with the parser's message and span. out is assigned only
// when the compile succeeds.
void compile(CodeLinked& out, ScannerInputFile* input, GProcessor* provider,
             const std::vector<Variable*>& externals, const std::string& language);
// The same with the input shared with the program: plain G-code lines (the bulk of a CAM
// program) are then read from it as they run instead of compiled, unless the program
// listing or the machine's traces are logged, which show every item.
void compile(CodeLinked& out, const std::shared_ptr<ScannerInputFile>& input, GProcessor* provider,
             const std::vector<Variable*>& externals, const std::string& language);

// Loads path (a relative name through the include search paths) and compiles it.
void compileFile(CodeLinked& out, const std::string& path, GProcessor* provider,
                 const std::vector<Variable*>& externals, const std::string& language);

} // namespace Karsto
