// KestroUtil.exe: the product's utility (stand-in); commands and exit codes
// in product/kestro_util.h.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "platform/process_directory.h"
#include "product/kestro_util.h"

int main(int argc, char** argv) {
  // Standard output is the utility's report, read by the patcher; the
  // libraries' diagnostic lines still reach the system log.
  LogShutdown();
  BramPatch::KestroUtilSettings settings;
  std::string error;
  if (!BramPatch::ReadKestroUtilSettings(std::getenv("KESTROUTIL_STEP_MS"),
                                         std::getenv("KESTROUTIL_WAIT_MS"), &settings, &error)) {
    std::cerr << BramPatch::KESTRO_UTIL_NAME << ": " << error << "\n";
    return BramPatch::KESTRO_UTIL_EXIT_USAGE;
  }
  const std::string executable = OS::GetExecutablePath();
  if (executable.empty()) {
    std::cerr << BramPatch::KESTRO_UTIL_NAME << ": cannot tell where the program lives\n";
    return BramPatch::KESTRO_UTIL_EXIT_FAILURE;
  }
  return BramPatch::RunKestroUtil(std::vector<std::string>(argv + 1, argv + argc),
                                  BramPatch::InstallRootOfUtility(executable), settings, std::cout,
                                  std::cerr);
}
