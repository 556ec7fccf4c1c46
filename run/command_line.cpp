#include "run/command_line.h"

#include <wx/cmdline.h>
#include <wx/msgout.h>
#include <wx/string.h>

#include <array>
#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/patch_options.h"
#include "foundation/child_process.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "text/messages.h"
#include "text/text_kind.h"

namespace BramPatch {
namespace {

// Each description is a copy of at most 63 UTF-16 units of its catalogue text.
constexpr std::size_t COMMANDLINE_DESCRIPTION_UNITS = 63;

std::string LimitedDescription(int id) {
  std::u16string text = Utf8ToUtf16(LoadMessage(id));
  if (text.size() > COMMANDLINE_DESCRIPTION_UNITS) {
    std::size_t cut = COMMANDLINE_DESCRIPTION_UNITS;
    // Do not split a surrogate pair.
    if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
    text.resize(cut);
  }
  return Utf16ToUtf8(text);
}

// The descriptor table with its descriptions; lives as long as the parser that uses it.
class CommandLineTable {
 public:
  CommandLineTable() {
    struct Row {
      wxCmdLineEntryType kind;
      const char* shortName;
      const char* longName;
      int description;
      wxCmdLineParamType type;
      int flags;
    };
    static const Row ROWS[] = {
        {wxCMD_LINE_SWITCH, "h", "help", MSG_PRINT_USAGE, wxCMD_LINE_VAL_NONE, 0},
        {wxCMD_LINE_SWITCH, "a", "admin", MSG_SUPPRESS_ADMIN_ESCALATION, wxCMD_LINE_VAL_NONE, 0},
        {wxCMD_LINE_PARAM, nullptr, nullptr, MSG_CURRENT_INSTALL_VERSION, wxCMD_LINE_VAL_STRING,
         wxCMD_LINE_PARAM_OPTIONAL},
        {wxCMD_LINE_OPTION, "l", "list", MSG_FTP_SERVER_LIST_FILE, wxCMD_LINE_VAL_STRING, 0},
        {wxCMD_LINE_OPTION, "s", "server", MSG_FTP_SERVER_ADDRESS, wxCMD_LINE_VAL_STRING, 0},
        {wxCMD_LINE_OPTION, "f", "final", MSG_FINAL_VERSION, wxCMD_LINE_VAL_STRING, 0},
        {wxCMD_LINE_PARAM, nullptr, nullptr, MSG_TARGET_DIRECTORY, wxCMD_LINE_VAL_STRING,
         wxCMD_LINE_PARAM_OPTIONAL},
        {wxCMD_LINE_SWITCH, "r", "repair", MSG_REPAIR_CLIENT, wxCMD_LINE_VAL_NONE, 0},
        {wxCMD_LINE_OPTION, "o", "onexit", MSG_LAUNCH_ON_EXIT, wxCMD_LINE_VAL_STRING, 0},
    };
    static_assert(std::size(ROWS) + 1 == std::tuple_size_v<decltype(m_entries)>);
    for (std::size_t i = 0; i < std::size(ROWS); ++i) {
      m_descriptions[i] = LimitedDescription(ROWS[i].description);
      const Row& row = ROWS[i];
      m_entries[i] = {row.kind, row.shortName, row.longName, m_descriptions[i].c_str(),
                      row.type, row.flags};
    }
    m_entries[std::size(ROWS)] = {wxCMD_LINE_NONE,     nullptr, nullptr, nullptr,
                                  wxCMD_LINE_VAL_NONE, 0};
  }
  CommandLineTable(const CommandLineTable&) = delete;
  CommandLineTable& operator=(const CommandLineTable&) = delete;

  const wxCmdLineEntryDesc* Entries() const { return m_entries.data(); }

 private:
  std::array<std::string, 9> m_descriptions;
  std::array<wxCmdLineEntryDesc, 10> m_entries;
};

std::string ToUtf8(const wxString& value) { return value.utf8_string(); }

// Reads the server list file: one server per line, the last line included
// whether or not it ends in a line feed. Blank lines carry no server and are
// skipped. False when the file cannot be opened.
bool ReadServerList(const std::string& path, std::vector<std::string>* servers) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    servers->push_back(line);
  }
  return true;
}

}  // namespace

void DropGluedQuotes(std::vector<std::string>& args) {
  for (std::string& arg : args) {
    if (arg.size() >= 2 && arg.compare(arg.size() - 2, 2, "\\\"") == 0) arg.pop_back();
  }
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLineSettings& settings,
                      PatchOptions& options, const PostTextFunction& postText) {
  CommandLineTable table;
  wxCmdLineParser parser(table.Entries());
  wxArrayString wxArgs;
  for (const std::string& arg : args) wxArgs.push_back(wxString::FromUTF8(arg));
  // SetCmdLine copies the arguments; an empty argv still needs a program name.
  if (wxArgs.empty()) wxArgs.push_back(wxString());
  std::vector<const wxChar*> argv;
  for (const wxString& arg : wxArgs) argv.push_back(arg.wc_str());
  argv.push_back(nullptr);
  parser.SetCmdLine(static_cast<int>(wxArgs.size()), const_cast<wxChar**>(argv.data()));

  // A program without a wx application object has no message output yet; the
  // parser writes its usage text and errors there.
  if (wxMessageOutput::Get() == nullptr) wxMessageOutput::Set(new wxMessageOutputStderr);
  if (parser.Parse(true) != 0) return false;

  if (parser.Found("h")) parser.Usage();

  wxString value;
  settings.onExitGiven = parser.Found("o", &value);
  if (settings.onExitGiven) settings.onExitCommand = ToUtf8(value);

  if (parser.Found("f", &value)) options.SetFinalVersion(ToUtf8(value));
  options.SetRepair(parser.Found("r"));

  const std::size_t parameters = parser.GetParamCount();
  if (parameters == 0) return false;
  const std::string firstParameter = ToUtf8(parser.GetParam(0));
  options.SetInstallPath(parameters == 1 ? firstParameter : ToUtf8(parser.GetParam(1)));

  const std::string& install = options.GetInstallPath();
  if (!ListBuilds(JoinPath(install, "bin\\KestroUtil.exe"), JoinPath(install, "bin\\buildList.txt"),
                  options)) {
    options.SetCurrentVersion(firstParameter);
  }

  if (parser.Found("s", &value)) options.AddServer(ToUtf8(value));

  if (parser.Found("l", &value)) {
    const std::string listFile = ToUtf8(value);
    std::vector<std::string> servers;
    if (!ReadServerList(listFile, &servers) || servers.empty()) {
      if (postText) postText(TEXT_KIND_ERROR, LoadMessage(MSG_FAILED_READ_SERVER_LIST) + listFile);
    }
    for (std::string& server : servers) options.AddServer(std::move(server));
  }

  if (!options.GetServerList().empty()) options.SetDownload(true);
  settings.adminGiven = parser.Found("a");
  return true;
}

bool IsAbsoluteListPath(const std::string& path) {
  return path.find(':') != std::string::npos || path.starts_with("\\") || path.starts_with("//") ||
         path.starts_with("/");
}

bool ListBuilds(const std::string& utilityPath, const std::string& listPath,
                PatchOptions& options) {
  // The paths are built with the installation's "\" separators; the file
  // system and the utility see them with "/".
  std::string list = IsAbsoluteListPath(listPath) ? listPath : std::string();
  NormalizeSeparators(list);
  std::string utility = utilityPath;
  NormalizeSeparators(utility);

  ChildProcess* child = StartChildProcess(utility, "listbuilds \"" + list + "\"");
  if (child == nullptr) return false;
  std::string discarded;
  bool outputOpen = true;
  bool errorsOpen = true;
  while (outputOpen || errorsOpen) {
    if (outputOpen) outputOpen = ReadChildOutput(child, discarded);
    if (errorsOpen) errorsOpen = ReadChildErrors(child, discarded);
    discarded.clear();
  }
  WaitChild(child, CHILD_WAIT_INFINITE);
  CloseChild(child);
  delete child;

  if (list.empty()) return false;
  std::ifstream file(list, std::ios::binary);
  if (!file) return false;
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  file.close();

  bool foundComma = false;
  std::size_t start = 0;
  for (std::size_t comma = text.find(','); comma != std::string::npos;
       comma = text.find(',', start)) {
    options.AddCandidateBuild(text.substr(start, comma - start));
    foundComma = true;
    start = comma + 1;
  }
  DeletePath(list);
  return foundComma;
}

}  // namespace BramPatch
