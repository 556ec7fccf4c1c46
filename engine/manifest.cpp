#include "engine/manifest.h"

#include <cstdio>
#include <fstream>

#include "foundation/path_guard.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "text/fixed_texts.h"

namespace BramPatch {

namespace {

constexpr std::string_view MANIFEST_UTF8_BOM = "\xEF\xBB\xBF";

std::string CannotOpenText(const std::string& path) {
  return FIXED_COULD_NOT_OPEN + path + FIXED_FOR_READING_MIGHT_BE_MISSING;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::string native = path;
  NormalizeSeparators(native);
  std::FILE* file = std::fopen(native.c_str(), "rb");
  if (file == nullptr) return false;
  text->clear();
  char chunk[8192];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, got);
  bool ok = std::ferror(file) == 0;  // a directory opens but fails to read
  std::fclose(file);
  return ok;
}

}  // namespace

std::vector<std::string> SplitManifestLines(std::string_view text) {
  if (text.starts_with(MANIFEST_UTF8_BOM)) text.remove_prefix(MANIFEST_UTF8_BOM.size());
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.push_back(Utf16ToUtf8(Utf8ToUtf16(text.substr(start, i - start))));
    i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  if (start < text.size()) lines.push_back(Utf16ToUtf8(Utf8ToUtf16(text.substr(start))));
  return lines;
}

bool ReadManifest(const std::string& path, std::vector<ManifestEntry>* entries,
                  std::string* error) {
  entries->clear();
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    *error = CannotOpenText(path);
    return false;
  }
  std::vector<std::string> lines = SplitManifestLines(text);
  if (lines.size() % 3 != 0) {
    *error = "The manifest " + path + " ends inside an entry at line " +
             std::to_string(lines.size()) + " (each entry is three lines)";
    return false;
  }
  entries->reserve(lines.size() / 3);
  for (size_t i = 0; i < lines.size(); i += 3) {
    entries->push_back({std::move(lines[i]), std::move(lines[i + 1]), std::move(lines[i + 2])});
  }
  return true;
}

bool ReadAddedFileList(const std::string& patch_dir, std::vector<std::string>* paths,
                       std::string* error) {
  paths->clear();
  std::string path = JoinPath(patch_dir, MANIFEST_ADDED);
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    *error = CannotOpenText(path);
    return false;
  }
  std::vector<std::string> lines = SplitManifestLines(text);
  for (size_t i = 0; i < lines.size(); i += 3) paths->push_back(std::move(lines[i]));
  return true;
}

bool ValidateManifestPaths(const std::string& root, const std::string& manifest_path,
                           const std::vector<ManifestEntry>& entries, std::string* error) {
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string context = manifest_path + " line " + std::to_string(3 * i + 1);
    std::string joined;
    if (!ResolveSafePath(root, entries[i].m_path, context, &joined, error)) return false;
  }
  return true;
}

void MoveLastFileToEnd(std::vector<ManifestEntry>* entries, std::string_view last_file_name) {
  if (last_file_name.empty()) return;
  for (auto it = entries->begin(); it != entries->end(); ++it) {
    if (it->m_path.find(last_file_name) == std::string::npos) continue;
    ManifestEntry last = std::move(*it);
    entries->erase(it);
    entries->push_back(std::move(last));
    return;
  }
}

bool WriteManifest(const std::string& path, const std::vector<ManifestEntry>& entries,
                   std::string* error) {
  std::string text;
  for (const ManifestEntry& entry : entries) {
    for (const std::string* field : {&entry.m_path, &entry.m_first, &entry.m_second}) {
      if (field->find_first_of("\r\n") != std::string::npos) {
        *error = "manifest field \"" + *field + "\" holds a line break";
        return false;
      }
      text += *field;
      text += "\r\n";
    }
  }
  std::string native = path;
  NormalizeSeparators(native);
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
  }
  if (!out) {
    DeletePath(native);
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace BramPatch
