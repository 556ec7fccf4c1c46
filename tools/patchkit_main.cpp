// omvel-patchkit: builds, inspects and unpacks patch archives and
// self-contained packages. See `omvel-patchkit --help`.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>

#include "foundation/log.h"
#include "platform/process_directory.h"
#include "tools/patch_author.h"
#include "tools/patchkit_commands.h"
#include "tools/patchkit_release.h"
#include "tools/patchkit_sample.h"

namespace {

using BramPatch::PatchkitRecordArgs;

constexpr const char* PATCHKIT_NAME = "omvel-patchkit";

int Report(int code, const std::string& error) {
  if (code != BramPatch::PATCHKIT_EXIT_OK) std::cerr << PATCHKIT_NAME << ": " << error << "\n";
  return code;
}

// The first word that names no command at its level (such a word would
// otherwise only be reported as a missing command), or "".
std::string UnknownCommand(const CLI::App& app, int argc, char** argv) {
  const CLI::App* level = &app;
  for (int i = 1; i < argc && !level->get_subcommands({}).empty(); ++i) {
    std::string word = argv[i];
    if (word.starts_with("-")) return "";
    try {
      level = level->get_subcommand(word);
    } catch (const CLI::OptionNotFound&) {
      return word;
    }
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  // Standard output carries the tool's report; the libraries' diagnostic
  // lines still reach the system log.
  LogShutdown();
  CLI::App app{"Builds, inspects and unpacks Omvel patch archives and self-contained packages.",
               PATCHKIT_NAME};
  app.require_subcommand(1);
  app.fallthrough(false);

  std::string directory;
  std::string archive;
  std::string executable;
  std::string output;
  std::string package;
  std::string source;
  std::vector<std::string> files;
  std::vector<std::vector<std::string>> records;

  CLI::App* pack = app.add_subcommand("pack", "Pack the tree below DIR into a patch archive.");
  pack->add_option("DIR", directory, "the folder to pack")->required();
  pack->add_option("ARCHIVE", archive, "the archive to write (replaced when present)")->required();

  CLI::App* unpack =
      app.add_subcommand("unpack", "Unpack a patch archive into DIR (created when missing).");
  unpack->add_option("ARCHIVE", archive, "the archive to read")->required();
  unpack->add_option("DIR", directory, "the folder to unpack into")->required();

  CLI::App* list = app.add_subcommand("list", "List the entries of a patch archive with sizes.");
  list->add_option("ARCHIVE", archive, "the archive to read")->required();

  CLI::App* md5 = app.add_subcommand("md5", "Print the MD5 checksum of each FILE.");
  md5->add_option("FILE", files, "the files to read")->required();

  CLI::App* package_cmd =
      app.add_subcommand("package", "Build or inspect a self-contained package.");
  package_cmd->require_subcommand(1);
  CLI::App* create = package_cmd->add_subcommand(
      "create", "Append patch archives with their records to a copy of EXECUTABLE.");
  create->add_option("EXECUTABLE", executable, "the patcher's executable")->required();
  create->add_option("OUTPUT", output, "the package to write (replaced when present)")->required();
  create
      ->add_option("-r,--record", records,
                   "one archive and its record: SOURCE TARGET IDFILE MD5 ARCHIVE (the installed "
                   "file IDFILE has checksum MD5 at build SOURCE; ARCHIVE patches SOURCE to "
                   "TARGET); repeat for each archive")
      ->expected(5)
      ->type_name("SOURCE TARGET IDFILE MD5 ARCHIVE")
      ->required();
  CLI::App* list_package =
      package_cmd->add_subcommand("list", "Print the header and records of a package.");
  list_package->add_option("PACKAGE", package, "the executable carrying the package")->required();
  CLI::App* extract =
      package_cmd->add_subcommand("extract", "Copy the archive for build SOURCE out of a package.");
  extract->add_option("PACKAGE", package, "the executable carrying the package")->required();
  extract->add_option("SOURCE", source, "the source build of the record")->required();
  extract->add_option("OUTPUT", output, "the archive file to write")->required();

  std::string build;
  bool register_sample = false;
  CLI::App* sample = app.add_subcommand(
      "sample", "Write a sample installation of build N into DIR (missing or empty).");
  sample->add_option("DIR", directory, "the folder to write")->required();
  sample->add_option("--build", build, "the build, from 100 to 999")->required();
  sample->add_flag("--register", register_sample,
                   "register DIR as the product's installation (OMVEL_REGISTRY)");

  std::vector<std::string> builds;
  CLI::App* release = app.add_subcommand(
      "release",
      "Make the patch archives from each build to the next and their patches.txt in --out DIR.");
  release
      ->add_option("BUILD", builds,
                   "two or more build trees, oldest first, each in a folder named after its build")
      ->expected(2, -1)
      ->required();
  release
      ->add_option("--out", output,
                   "the folder to serve (created when missing; archives and patches.txt replaced)")
      ->required();

  std::string old_build;
  std::string new_build;
  CLI::App* make = app.add_subcommand(
      "make", "Write the patch archive that brings OLD_DIR's build to NEW_DIR's.");
  make->add_option("OLD_DIR", old_build, "the build installations have now")->required();
  make->add_option("NEW_DIR", new_build, "the build they are patched to")->required();
  make->add_option("ARCHIVE", archive, "the archive to write (replaced when present)")->required();

  if (std::string unknown = UnknownCommand(app, argc, argv); !unknown.empty()) {
    std::cerr << PATCHKIT_NAME << ": unknown command \"" << unknown << "\" (see " << PATCHKIT_NAME
              << " --help)\n";
    return BramPatch::PATCHKIT_EXIT_USAGE;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::Normal);
    return BramPatch::PATCHKIT_EXIT_OK;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help of a subcommand
    std::cerr << PATCHKIT_NAME << ": " << e.what() << " (see " << PATCHKIT_NAME << " --help)\n";
    return BramPatch::PATCHKIT_EXIT_USAGE;
  }

  std::string error;
  if (pack->parsed())
    return Report(BramPatch::RunPack(directory, archive, std::cout, &error), error);
  if (unpack->parsed()) {
    return Report(BramPatch::RunUnpack(archive, directory, std::cout, &error), error);
  }
  if (list->parsed()) return Report(BramPatch::RunList(archive, std::cout, &error), error);
  if (md5->parsed()) return Report(BramPatch::RunMd5(files, std::cout, &error), error);
  if (create->parsed()) {
    std::vector<PatchkitRecordArgs> args;
    for (const std::vector<std::string>& r : records) {
      args.push_back({r.at(0), r.at(1), r.at(2), r.at(3), r.at(4)});
    }
    return Report(BramPatch::RunPackageCreate(executable, output, args, std::cout, &error), error);
  }
  if (sample->parsed()) {
    const std::string programs =
        std::filesystem::path(OS::GetExecutablePath()).parent_path().string();
    return Report(
        BramPatch::RunSample(directory, build, register_sample, programs, std::cout, &error),
        error);
  }
  if (make->parsed()) {
    return Report(BramPatch::RunMake(old_build, new_build, archive, std::cout, &error), error);
  }
  if (release->parsed()) {
    return Report(BramPatch::RunRelease(builds, output, std::cout, &error), error);
  }
  if (list_package->parsed()) {
    return Report(BramPatch::RunPackageList(package, std::cout, &error), error);
  }
  return Report(BramPatch::RunPackageExtract(package, source, output, std::cout, &error), error);
}
