// A separate process for the registry tests; the first argument picks what it
// does, the hive file is always the second.
//
//   writer FILE NAME COUNT   waits until standard input ends (the start
//                            signal), then COUNT times creates the key
//                            Software\Writers\NAME-<i> and sets the value
//                            NAME-<i> = i in Software\Writers. Exit 0 when
//                            every call succeeded.
//   access FILE              drops to user and group 65534 when run as root,
//                            then prints the results of opening
//                            Software\Omvel for reading, creating it without
//                            rights and opening it for writing.
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/registry.h"

namespace {

int Writer(const std::string& file, const std::string& name, int count) {
  char byte;
  while (read(0, &byte, 1) > 0) {
  }
  const RegistryKey machine = RegistryKey::LocalMachine(file);
  for (int i = 0; i < count; ++i) {
    const std::string item = name + "-" + std::to_string(i);
    RegistryKey created;
    RegistryResult result =
        machine.CreateKey("Software\\Writers\\" + item, REGISTRY_ACCESS_WRITE, &created);
    if (result != REGISTRY_OK) {
      std::printf("CreateKey %s: %u\n", item.c_str(), result);
      return 1;
    }
    RegistryKey writers;
    result = machine.OpenKey("Software\\Writers", REGISTRY_ACCESS_WRITE, &writers);
    if (result == REGISTRY_OK) result = writers.SetDwordValue(item, static_cast<std::uint32_t>(i));
    if (result != REGISTRY_OK) {
      std::printf("SetDwordValue %s: %u\n", item.c_str(), result);
      return 1;
    }
  }
  return 0;
}

int Access(const std::string& file) {
  if (geteuid() == 0) {
    const gid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
        setresuid(nobody, nobody, nobody) != 0) {
      std::perror("dropping to 65534");
      return 2;
    }
  }
  const RegistryKey machine = RegistryKey::LocalMachine(file);
  RegistryKey key;
  const RegistryResult read = machine.OpenKey("Software\\Omvel", REGISTRY_ACCESS_READ, &key);
  const RegistryResult create = machine.CreateKey("Software\\Omvel", 0, &key);
  const RegistryResult write = machine.OpenKey("Software\\Omvel", REGISTRY_ACCESS_WRITE, &key);
  std::printf("read=%u create=%u write=%u\n", read, create, write);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "writer" && argc == 5) return Writer(argv[2], argv[3], std::atoi(argv[4]));
  if (mode == "access" && argc == 3) return Access(argv[2]);
  std::fprintf(stderr, "usage: registry_testchild writer FILE NAME COUNT | access FILE\n");
  return 2;
}
