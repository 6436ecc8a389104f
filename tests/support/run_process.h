#pragma once
// Runs a program to its end and hands back what it wrote and how it ended, for tests of the
// command-line tool.

#include <string>
#include <vector>

namespace novel::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not start or did not exit normally
    std::string out;    // standard output, byte for byte
    std::string err;    // standard error
};

// arguments[0] is the program's path; no shell is involved.
ProcessResult runProcess(const std::vector<std::string>& arguments);

}  // namespace novel::test
