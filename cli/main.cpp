#include "cli/commands.h"

int main(int argc, char** argv) {
    return novel::cli::runCli(novel::cli::Arguments(argv + 1, argv + argc));
}
