// `zentor SUBCOMMAND …`: the program's windows' own commands, run without a
// desktop. Exit status 0 done, 1 the command failed, 2 a usage error.
#pragma once

namespace zentor::cli {

// True when the first argument names a subcommand or asks for help; the program
// then runs no window.
bool IsCommandLineRun(int argc, const char* const* argv);
int RunCommandLine(int argc, const char* const* argv);

}  // namespace zentor::cli
