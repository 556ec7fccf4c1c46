#include "platform/process_launch.h"

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace OS {

bool LaunchProcess(const std::vector<std::string>& argv, bool ownSession, int* pid, int* error) {
  if (argv.empty() || argv[0].empty()) {
    *error = ENOENT;
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (ownSession) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attributes, flags);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  pid_t child = -1;
  const bool search = argv[0].find('/') == std::string::npos;
  const int result =
      search ? posix_spawnp(&child, args[0], &actions, &attributes, args.data(), environ)
             : posix_spawn(&child, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    *error = result;
    return false;
  }
  *pid = child;
  return true;
}

}  // namespace OS

namespace OS {

bool RequestProcessEnd(int pid) { return pid > 0 && kill(pid, SIGTERM) == 0; }

}  // namespace OS
