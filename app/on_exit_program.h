// The program named by the command-line option --onexit, started by the
// instance that ends last as the normal user.
#pragma once

namespace BramPatch {

struct CommandLineSettings;

// How long the patcher waits for the on-exit program before it goes on.
inline constexpr unsigned ONEXIT_WAIT_MS = 1000;

// When --onexit was given with a value: starts the value as a whole command
// line (split by the Windows rules), with our standard streams and no other
// descriptor, in a session of its own so that it outlives the patcher; waits
// up to ONEXIT_WAIT_MS for it. A command that cannot start writes message
// 138 ("Error creating process, code: ") with the error number and a line
// end to standard error; nothing is shown to the user.
void RunOnExitProgram(const CommandLineSettings& settings);

}  // namespace BramPatch
