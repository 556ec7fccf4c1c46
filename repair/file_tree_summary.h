// FileTreeSummary: for every segment of every file below an installation
// root, its checksum and the file's modification time. It is kept in
// "repair.cks" between repairs, so that a scan only re-reads files whose
// time changed, and it is the list of what a client has that it sends to
// the repair server. Byte layout: docs/formats/repair-summary.md.
//
// Keys (segment_key.h) are UTF-8 in this interface; the map orders them by
// their UTF-16 code units, which is the order they are stored and sent in.
//
// Every operation holds the summary's mutex for its whole run (file reads
// included), so one summary may be shared by the repair client's worker and
// its segment writers. The mutex is re-entrant: operations call each other.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/bram_result.h"

class BramDataBuffer;

constexpr std::uint32_t SUMMARY_MAGIC = 0x66747330;  // the bytes "0stf"

// Limits on what a summary may claim, so that a damaged file or a hostile
// peer cannot make the reader allocate without bound. A summary with more
// entries covers more than 64 TiB; no path has more code units.
constexpr std::uint32_t SUMMARY_MAX_ENTRIES = 1u << 24;
constexpr std::uint32_t SUMMARY_MAX_KEY_LENGTH = 32767;

struct SummaryEntry {
  std::uint32_t checksum = 0;  // 0: the segment was unreadable here
  std::int64_t time = 0;       // the file's modification time, seconds since 1970
  bool seen = false;           // in memory only: produced by the current scan
};

// One key and its entry, as GetEntries returns them.
struct SummaryRecord {
  std::string key;
  SummaryEntry entry;
};

// Reads the segment of the file named by the path part of `full_key` (an
// absolute path, "#", index) into `bytes`, which must hold SEGMENT_SIZE
// bytes; *length receives its size (0 for an offset equal to the file's
// size). False, with a "ReadFileSegment>" log line, when the file cannot be
// opened, read or positioned, or the segment starts past its end. Touches no
// summary: the repair server reads reference segments with it directly.
bool ReadSegmentFromFile(const std::string& full_key, std::uint8_t* bytes, std::uint32_t* length);

class FileTreeSummary {
 public:
  FileTreeSummary() = default;
  virtual ~FileTreeSummary() = default;
  FileTreeSummary(const FileTreeSummary&) = delete;
  FileTreeSummary& operator=(const FileTreeSummary&) = delete;

  // Replaces the whole map with the layout read at the buffer's position;
  // loaded entries are not seen. Returns 0; BRAMRESULT_BAD_FORMAT for a
  // wrong magic (map empty), an entry count above SUMMARY_MAX_ENTRIES (map
  // empty) or a key length of 0 or above SUMMARY_MAX_KEY_LENGTH (map holds
  // the entries before it); or the first failing read (the same).
  BramResult LoadSummary(BramDataBuffer& buffer);

  // Writes the layout at the buffer's position in as few WriteData calls as
  // its size allows. Returns 0 or the first failing write.
  BramResult SaveSummary(BramDataBuffer& buffer);

  // ReadSegmentFromFile under the summary's mutex. Virtual so that tests can
  // count or fail the file reads of a scan.
  virtual bool ReadFileSegment(const std::string& full_key, std::uint8_t* bytes,
                               std::uint32_t* length);

  // " Checksum <full key> .." is logged; then the segment's checksum, or 0
  // when ReadFileSegment fails.
  std::uint32_t ChecksumSegment(const std::string& full_key);

  // Refreshes the entry of `key` from the file named by `full_key`. A
  // checksum of 0 means "compute it, or keep the stored one while the file's
  // time is unchanged" (a stored 0, "unreadable", is never kept); any other
  // value is stored as given and also gives
  // every other segment of the file (path#000, #001, ... up to the first
  // absent index) the file's time, since writing one segment changes the
  // time of a file whose other checksums stay valid. The entry is marked
  // seen. False, changing nothing, when the file's time cannot be read.
  bool RegisterSegment(const std::string& full_key, const std::string& key, std::uint32_t checksum);

  // Registers every segment of one file: `full_path` on disk, `relative_path`
  // its key path ('\' separators). An empty file has no segments (true).
  // False when the size cannot be read (logged) or a segment fails.
  bool RegisterFile(const std::string& full_path, const std::string& relative_path);

  // Registers every regular file below `root` whose relative path ('\'
  // separators) matches none of `exclusions` (patterns, "*" matching any
  // run of characters), walking breadth-first, and then erases every entry
  // the scan did not produce. Symbolic links are neither followed nor
  // listed: a scan never leaves the tree and never loops. `keep_going`, when
  // set, is asked before each directory and file; when it answers false the
  // scan stops, erases nothing and returns BRAMRESULT_ABORTED. Otherwise 0.
  BramResult RegisterTree(const std::string& root, const std::set<std::string>& exclusions,
                          const std::function<bool()>& keep_going = {});

  // Removes one entry if present.
  void EraseSegment(const std::string& key);
  // Removes the entries of the key's file with indices index + 1, + 2, ...
  // up to the first absent one.
  void EraseFollowingSegments(const std::string& key);
  // Sets the time of path#000, path#001, ... up to the first absent index.
  void RefreshSegmentTimes(const std::string& path, std::int64_t time);

  // Queries.
  std::size_t GetEntryCount();
  // False when the key has no entry (*entry untouched).
  bool FindEntry(const std::string& key, SummaryEntry* entry);
  // Every entry in map order.
  std::vector<SummaryRecord> GetEntries();

 private:
  using EntryMap = std::map<std::u16string, SummaryEntry>;

  // REQUIRES: m_mutex held.
  void RefreshSegmentTimesLocked(const std::u16string& path, std::int64_t time);

  std::recursive_mutex m_mutex;
  EntryMap m_entries;  // guarded by m_mutex
};

// True when `path` ('\' separators) matches `pattern` whole: "*" matches any
// run of characters, '\' included, every other character only itself.
bool MatchesExclusionPattern(std::string_view path, std::string_view pattern);
