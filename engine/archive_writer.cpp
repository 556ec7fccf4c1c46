#include "engine/archive_writer.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/archive_reader.h"
#include "engine/le_fields.h"
#include "foundation/path_guard.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/compressed_stream.h"
#include "kit/data_buffer_file.h"
#include "kit/data_buffer_memory_static.h"
#include "platform/replace_file.h"

namespace BramPatch {

namespace fs = std::filesystem;

PatchArchiveWriter::PatchArchiveWriter() = default;
PatchArchiveWriter::~PatchArchiveWriter() = default;

bool PatchArchiveWriter::Fail(const std::string& what) {
  if (m_error.empty()) m_error = what;
  m_file.reset();
  return false;
}

bool PatchArchiveWriter::Create(const std::string& path) {
  m_path = path;
  m_error.clear();
  m_file = std::make_unique<BramDataBufferFile>(path, BRAMFILE_MODE_CREATE);
  if (!m_file->IsOpen()) return Fail("cannot create " + path);
  std::string word;
  AppendLe(&word, ARCHIVE_FORMAT_VERSION, 4);
  if (m_file->WriteData(word.data(), 4) != BRAMRESULT_OK) return Fail("cannot write " + path);
  return true;
}

bool PatchArchiveWriter::WriteNameStream(const std::string& name) {
  if (m_file == nullptr) return Fail("the archive is not open");
  std::u16string units = Utf8ToUtf16(name);
  std::string bytes;
  AppendLe(&bytes, units.size(), 4);
  bytes += Utf16ToLeBytes(units);
  std::unique_ptr<BramDataBufferMemoryStatic> source = BramDataBufferMemoryStatic::CopyOf(bytes);
  if (source == nullptr) return Fail("out of memory");
  BramResult result = BramUtil::CompressData(*m_file, *source);
  if (result != BRAMRESULT_OK) {
    return Fail("cannot write " + m_path + " (result " + std::to_string(result) + ")");
  }
  return true;
}

bool PatchArchiveWriter::WriteDataStream(BramDataBuffer& content) {
  if (m_file == nullptr) return Fail("the archive is not open");
  BramResult result = BramUtil::CompressData(*m_file, content);
  if (result != BRAMRESULT_OK) {
    return Fail("cannot write " + m_path + " (result " + std::to_string(result) + ")");
  }
  return true;
}

bool PatchArchiveWriter::AddDirectory(const std::string& name) {
  if (!IsArchiveDirectoryName(name)) {
    return Fail("\"" + name + "\" would be read as a file: a folder name cannot hold '.'");
  }
  return WriteNameStream(name);
}

bool PatchArchiveWriter::AddFile(const std::string& name, BramDataBuffer& content) {
  if (IsArchiveDirectoryName(name)) {
    return Fail("\"" + name + "\" would be read as a folder: a file name needs an extension");
  }
  return WriteNameStream(name) && WriteDataStream(content);
}

bool PatchArchiveWriter::AddFileFromPath(const std::string& name, const std::string& source_path) {
  BramDataBufferFile content(source_path, BRAMFILE_MODE_READ);
  if (!content.IsOpen()) return Fail("cannot read " + source_path);
  return AddFile(name, content);
}

bool PatchArchiveWriter::Finish() {
  if (m_file == nullptr) return false;
  m_file.reset();
  return m_error.empty();
}

namespace {

bool IsValidUtf8(const std::string& text) { return Utf16ToUtf8(Utf8ToUtf16(text)) == text; }

// Archive trees deeper than this are refused; real build trees stay far
// below it.
constexpr int PACK_MAX_DEPTH = 128;

bool CollectBelow(const std::string& root, const fs::path& directory, const std::string& prefix,
                  int depth, std::vector<PackItem>* items, std::string* error) {
  if (depth > PACK_MAX_DEPTH) {
    *error = "cannot pack " + directory.string() + ": folders nested too deeply";
    return false;
  }
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) {
    *error = "cannot list " + directory.string() + ": " + ec.message();
    return false;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    fs::path path = directory / name;
    std::string shown = path.string();
    if (!IsValidUtf8(name)) {
      *error = "cannot pack " + shown + ": the name is not valid UTF-8";
      return false;
    }
    if (name.find('\\') != std::string::npos) {
      *error = "cannot pack " + shown + ": '\\' in a name would be read as a folder separator";
      return false;
    }
    std::string relative = prefix.empty() ? name : prefix + "\\" + name;
    std::string joined;
    if (!ResolveSafePath(root, relative, "the tree to pack", &joined, error)) return false;
    fs::file_status link = fs::symlink_status(path, ec);
    fs::file_status target = ec ? link : fs::status(path, ec);
    if (ec) {
      *error = "cannot pack " + shown + ": " + ec.message();
      return false;
    }
    PackItem item;
    item.m_name = ".\\" + relative;
    item.m_sourcePath = shown;
    if (fs::is_directory(target) && !fs::is_symlink(link)) {
      if (!IsArchiveDirectoryName(item.m_name)) {
        *error = "cannot pack " + shown + ": a folder whose name holds '.' would be read as a file";
        return false;
      }
      item.m_isDirectory = true;
      items->push_back(item);
      if (!CollectBelow(root, path, relative, depth + 1, items, error)) return false;
    } else if (fs::is_regular_file(target)) {
      if (IsArchiveDirectoryName(item.m_name)) {
        *error = "cannot pack " + shown +
                 ": a file without an extension in its name would be read as a folder";
        return false;
      }
      item.m_size = fs::file_size(path, ec);
      items->push_back(item);
    } else if (fs::is_directory(target)) {
      *error = "cannot pack " + shown + ": a link to a folder";
      return false;
    } else {
      *error = "cannot pack " + shown + ": not a regular file or folder";
      return false;
    }
  }
  return true;
}

}  // namespace

bool CollectPackItems(const std::string& source_dir, std::vector<PackItem>* items,
                      std::string* error) {
  items->clear();
  std::string root = source_dir;
  NormalizeSeparators(root);
  if (!IsDirectory(root)) {
    *error = "cannot pack " + source_dir + ": not a folder";
    return false;
  }
  return CollectBelow(root, fs::path(root), "", 0, items, error);
}

bool PackDirectory(const std::string& source_dir, const std::string& archive_path,
                   std::string* error, std::vector<PackItem>* items) {
  std::vector<PackItem> collected;
  if (!CollectPackItems(source_dir, &collected, error)) return false;
  std::string target = archive_path;
  NormalizeSeparators(target);
  std::error_code ec;
  for (const PackItem& item : collected) {
    if (!item.m_isDirectory && fs::equivalent(item.m_sourcePath, target, ec)) {
      *error =
          "cannot pack " + source_dir + ": the archive " + archive_path + " lies inside the tree";
      return false;
    }
  }
  // Written beside the target first, so that a failure never leaves a
  // half-written archive (nor destroys an older one) at archive_path.
  std::string partial = target + ".partial";
  PatchArchiveWriter writer;
  bool ok = writer.Create(partial);
  for (size_t i = 0; ok && i < collected.size(); ++i) {
    const PackItem& item = collected[i];
    ok = item.m_isDirectory ? writer.AddDirectory(item.m_name)
                            : writer.AddFileFromPath(item.m_name, item.m_sourcePath);
  }
  ok = writer.Finish() && ok;
  if (ok && !ReplaceFileAtomically(partial, target)) {
    *error = "cannot write " + archive_path;
    ok = false;
  } else if (!ok) {
    *error = writer.GetError();
  }
  if (!ok) {
    DeletePath(partial);
    return false;
  }
  if (items != nullptr) *items = std::move(collected);
  return true;
}

}  // namespace BramPatch
