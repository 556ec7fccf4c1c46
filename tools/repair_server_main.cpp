// omvel-repair-server: serves a reference build tree to repair clients.
// See `omvel-repair-server --help` and docs/formats/repair-protocol.md.
#include <CLI/CLI.hpp>

#include "foundation/log.h"
#include "tools/repair_server.h"

int main(int argc, char** argv) {
  // Standard output carries the server's own lines; the libraries'
  // diagnostics still reach the system log.
  LogShutdown();
  BramPatch::RepairServerOptions options;
  std::vector<std::string> exclusions;
  CLI::App app{"Serves the build below TREE to Omvel repair clients over TCP.",
               "omvel-repair-server"};
  app.add_option("TREE", options.tree, "the reference build")->required();
  app.add_option("--port", options.port, "TCP port to listen on; 0 takes any free one")
      ->capture_default_str();
  app.add_option("--bind", options.bind, "IPv4 address to listen on")->capture_default_str();
  app.add_option("--exclude", exclusions,
                 "a relative path neither served nor removed ('\\' between folders, '*' "
                 "matches anything); repeatable. repair.cks, unins000.exe and unins000.dat "
                 "always are");
  app.add_option("--max-clients", options.max_clients, "clients served at the same time")
      ->capture_default_str();
  CLI11_PARSE(app, argc, argv);
  options.exclusions.insert(exclusions.begin(), exclusions.end());
  return BramPatch::RunRepairServer(options);
}
