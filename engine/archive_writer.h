// Writing patch archives (docs/formats/patch-archive.md): a directory tree
// becomes a version word and one entry per directory and file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class BramDataBuffer;
class BramDataBufferFile;

namespace BramPatch {

// Writes one archive entry by entry. Names are stored as given (UTF-8 in,
// UTF-16LE in the file); AddDirectory and AddFile refuse a name the reader
// would take for the other kind. Every failure leaves a one-line text in
// GetError(); after one, the writer accepts nothing more.
class PatchArchiveWriter {
 public:
  PatchArchiveWriter();
  ~PatchArchiveWriter();
  PatchArchiveWriter(const PatchArchiveWriter&) = delete;
  PatchArchiveWriter& operator=(const PatchArchiveWriter&) = delete;

  // Creates or truncates `path` and writes the version word.
  bool Create(const std::string& path);
  bool AddDirectory(const std::string& name);
  // The file's bytes: `content` from its position to its end, or the file
  // at `source_path`.
  bool AddFile(const std::string& name, BramDataBuffer& content);
  bool AddFileFromPath(const std::string& name, const std::string& source_path);
  // Closes the file; true when everything was written.
  bool Finish();

  // The two streams an entry is made of, unchecked: tests use them to build
  // archives the checked calls refuse.
  bool WriteNameStream(const std::string& name);
  bool WriteDataStream(BramDataBuffer& content);

  const std::string& GetError() const { return m_error; }

 private:
  bool Fail(const std::string& what);

  std::string m_path;
  std::unique_ptr<BramDataBufferFile> m_file;
  std::string m_error;
};

// One entry of a tree to pack, in archive order.
struct PackItem {
  std::string m_name;        // ".\" + relative path with '\' separators
  std::string m_sourcePath;  // on disk
  bool m_isDirectory = false;
  std::uint64_t m_size = 0;  // file bytes when collected
};

// Collects the tree below `source_dir` in archive order: each directory
// before the entries inside it, names in byte order. Refuses, naming the
// path, what the archive cannot carry: a file whose name has no extension
// (it would be read as a folder), a folder whose name holds '.' (it would be
// read as a file), a name with '\' or invalid UTF-8, a name the path
// validator refuses (a link leading out of the tree among them), links to
// folders and other special files. Links to files inside the tree are
// packed as the files they point to.
bool CollectPackItems(const std::string& source_dir, std::vector<PackItem>* items,
                      std::string* error);

// Collects `source_dir` and writes it as an archive to `archive_path`. On
// failure nothing is left at archive_path. *items (optional) receives what
// was packed.
bool PackDirectory(const std::string& source_dir, const std::string& archive_path,
                   std::string* error, std::vector<PackItem>* items = nullptr);

}  // namespace BramPatch
