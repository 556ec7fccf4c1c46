// The patcher's command line: switches -h/--help, -a/--admin, -r/--repair,
// options -l/--list, -s/--server, -f/--final, -o/--onexit and up to two
// parameters (current build, installation directory).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace BramPatch {

class PatchOptions;

// What the command line sets besides the run settings; the application keeps it.
struct CommandLineSettings {
  std::string onExitCommand;  // value of --onexit
  bool onExitGiven = false;
  bool adminGiven = false;
};

// The message sink: (kind, UTF-8 text), kinds as in text/text_kind.h.
using PostTextFunction = std::function<void(int kind, const std::string& text)>;

// A quoted path argument that ends in a backslash arrives with its closing
// quote glued on ("D:\Games\K\""): drops that final quote from every argument
// whose last two characters are a backslash and a double quote.
void DropGluedQuotes(std::vector<std::string>& args);

// Parses args (args[0] is the program) into settings and options. Returns false
// when the parser reports an error (it prints the error with the usage text and
// nothing of the command line is used) or when no parameter is given (then the
// options server, list and admin are not looked at). postText, when set,
// receives the failure to read the server list file.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLineSettings& settings,
                      PatchOptions& options, const PostTextFunction& postText);

// Asks the product's utility ("listbuilds" with the quoted list path) for the
// builds the installation may be at, appends every comma-terminated entry of the
// list file it writes to the candidate builds and deletes the file. A relative
// list path is passed to the utility as an empty one. Returns true when the
// file held at least one comma.
bool ListBuilds(const std::string& utilityPath, const std::string& listPath, PatchOptions& options);

// True for the list paths that ListBuilds passes on: they contain ":" or begin
// with "\", "//" or "/".
bool IsAbsoluteListPath(const std::string& path);

}  // namespace BramPatch
