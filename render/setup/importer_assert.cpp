// The importer checks its own state with assertions, which stop the process
// when one fails; and some of them fail on files it was not written for: a
// 3MF whose model is missing, corrupt or too large to inflate stopped the
// program there. This definition takes the place of the importer's own (the
// library calls it through the program, which is linked first), and throws:
// the importer takes that, as it takes its own errors, for a file it cannot
// read, and the model is refused in one line.
#include <stdexcept>
#include <string>

namespace Assimp {

void aiAssertViolation(const char* expression, const char* file, int line);

void aiAssertViolation(const char* expression, const char* file, int line) {
    const std::string source = file;
    throw std::runtime_error("the importer's check that " + std::string(expression) + " failed (" +
                             source.substr(source.find_last_of('/') + 1) + ":" +
                             std::to_string(line) + ")");
}

} // namespace Assimp
