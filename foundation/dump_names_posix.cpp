#include "foundation/dump_names.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int FILTER_ATTEMPT_LIMIT = 100000;

}  // namespace

std::string FormatStartupDumpName(const char* application, const char* build,
                                  const std::tm& local_time) {
  char name[256];
  std::snprintf(name, sizeof(name), "%s-v%s-%i.%02i.%02i-%02i.%02i.%02i.dmp", application, build,
                local_time.tm_year + 1900, local_time.tm_mon + 1, local_time.tm_mday,
                local_time.tm_hour, local_time.tm_min, local_time.tm_sec);
  return name;
}

void FormatFilterDumpName(int attempt, RawText* name) {
  name->Append("Kestro-").AppendDecimal(CRASH_FILTER_DUMP_NUMBER);
  if (attempt > 1) name->Append("_").AppendDecimal(attempt);
  name->Append(".dmp");
}

int CreateFilterDumpFile(RawText* name) {
  for (int attempt = 1; attempt <= FILTER_ATTEMPT_LIMIT; ++attempt) {
    *name = RawText();
    FormatFilterDumpName(attempt, name);
    const int fd = open(name->Text(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}
