// A program of the product family, reduced to what the ownership-block
// tests need:
//   database_block_testchild <block directory> <database path> <command>...
// Commands run in order, each answering one line on standard output:
//   open | open-suspended   "open 1" / "open 0" (suspended: allow while suspended)
//   count                   "count N"
//   exclusive               "exclusive 1" / "exclusive 0"
//   suspend                 "suspend" (lets others attach to our exclusive hold)
//   own                     "own 1" / "own 0" (ownership with request)
//   idle                    "idle" (the family's periodic check)
//   fields                  "fields <host> <owner> <requester> <attach count> <exclusive>"
//   hold                    "ready", then waits for a line (or the end) on standard input
//   close                   "close"
#include <unistd.h>

#include <cstdio>
#include <string>

#include "foundation/database_block.h"
#include "foundation/database_block_peer.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  setvbuf(stdout, nullptr, _IONBF, 0);
  DatabaseBlock block(argv[1]);
  DatabaseBlockPeer peer(block);
  const std::string path = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::string command = argv[i];
    if (command == "open" || command == "open-suspended") {
      std::printf("open %d\n", block.Open(path, command == "open-suspended") ? 1 : 0);
    } else if (command == "count") {
      std::printf("count %d\n", block.GetAttachCount());
    } else if (command == "exclusive") {
      std::printf("exclusive %d\n", block.TakeExclusive() ? 1 : 0);
    } else if (command == "suspend") {
      peer.SuspendExclusive(true);
      std::printf("suspend\n");
    } else if (command == "own") {
      std::printf("own %d\n", block.RequestOwnership() ? 1 : 0);
    } else if (command == "idle") {
      peer.Idle();
      std::printf("idle\n");
    } else if (command == "fields") {
      std::printf("fields %d %d %d %d %d\n", block.Read(DatabaseBlockField::HOST),
                  block.Read(DatabaseBlockField::OWNER), block.Read(DatabaseBlockField::REQUESTER),
                  block.Read(DatabaseBlockField::ATTACH_COUNT),
                  block.Read(DatabaseBlockField::EXCLUSIVE_HOLDER));
    } else if (command == "hold") {
      std::printf("ready\n");
      char c = 0;
      while (read(0, &c, 1) == 1 && c != '\n') {
      }
    } else if (command == "close") {
      block.Close();
      std::printf("close\n");
    } else {
      std::printf("unknown %s\n", command.c_str());
      return 2;
    }
  }
  return 0;
}
