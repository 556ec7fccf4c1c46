#include "tools/patchkit_sample_tree.h"

#include <cassert>
#include <cstdio>
#include <map>
#include <string_view>

namespace BramPatch {

namespace {

// The folders of the assets, each with the extension of its files.
struct SampleArea {
  const char* m_name;
  const char* m_extension;
  bool m_text;  // text-like contents (compress well); otherwise random bytes
};
constexpr SampleArea SAMPLE_AREAS[] = {
    {"aircraft", "mdl", true},  {"scenery", "bgl", true}, {"sounds", "wav", false},
    {"textures", "dds", false}, {"effects", "fx", true},
};
constexpr std::uint32_t SAMPLE_AREA_COUNT = sizeof SAMPLE_AREAS / sizeof SAMPLE_AREAS[0];
constexpr const char* SAMPLE_STEMS[] = {"part",  "tile",   "mesh",  "clip",
                                        "layer", "detail", "panel", "gauge"};

constexpr std::uint32_t SAMPLE_BASE_FILES = 320;
constexpr std::uint32_t SAMPLE_GROUPS = 8;
constexpr std::uint32_t SAMPLE_ADDED_PER_BUILD = 8;
constexpr std::uint64_t SAMPLE_REMOVE_ONE_IN = 31;
constexpr std::uint64_t SAMPLE_CHANGE_ONE_IN = 7;
constexpr std::uint64_t SAMPLE_SMALL_MIN = 64;
constexpr std::uint64_t SAMPLE_SMALL_SPREAD = 3000;

// Files of fixed size that never go away. Each build rewrites m_change bytes
// at a place of its own (all of them when m_change is the size; never when 0),
// so the diffs between builds stay small.
struct SampleLargeFile {
  const char* m_path;
  std::size_t m_size;
  std::size_t m_change;
};
constexpr SampleLargeFile SAMPLE_LARGE_FILES[] = {
    {"assets/scenery/world.bgl", 1536 * 1024, 4096},
    {"assets/sounds/ambient_loop.wav", 1024 * 1024, 0},
    {"assets/Base.ja", 256 * 1024, 2048},
    {"bin/BramLauncher.exe", 48 * 1024, 48 * 1024},
};

std::uint64_t Mix(std::uint64_t x) {  // the splitmix64 finaliser
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t PathHash(std::string_view path) {  // FNV-1a
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : path) hash = (hash ^ c) * 0x100000001B3ull;
  return hash;
}

// The die a file rolls at a build: decides removal, changes and contents.
std::uint64_t Roll(std::string_view path, std::uint32_t build) {
  return Mix(PathHash(path) + 0x9E3779B97F4A7C15ull * build);
}

// A fixed byte sequence for a seed (splitmix64), random or text-like.
std::string Bytes(std::uint64_t seed, std::size_t count, bool text) {
  static constexpr std::string_view WORDS[] = {"kestro", "wing",  "rotor", "runway", "tile",
                                               "mesh",   "alpha", "delta", "vertex", "sound",
                                               "light",  "cloud", "gear",  "flap",   "pitch"};
  std::string bytes;
  bytes.reserve(count + 16);
  std::uint64_t state = seed;
  while (bytes.size() < count) {
    state += 0x9E3779B97F4A7C15ull;
    const std::uint64_t value = Mix(state);
    if (text) {
      bytes += WORDS[value % (sizeof WORDS / sizeof WORDS[0])];
      bytes += (value >> 32) % 9 == 0 ? '\n' : ' ';
    } else {
      for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
    }
  }
  bytes.resize(count);
  return bytes;
}

std::string Number(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", digits, value);
  return text;
}

const SampleArea& AreaOf(std::string_view path) {
  for (const SampleArea& area : SAMPLE_AREAS) {
    if (path.ends_with(std::string(".") + area.m_extension)) return area;
  }
  return SAMPLE_AREAS[0];
}

const SampleLargeFile* LargeFileOf(std::string_view path) {
  for (const SampleLargeFile& large : SAMPLE_LARGE_FILES) {
    if (path == large.m_path) return &large;
  }
  return nullptr;
}

std::string BasePath(std::uint32_t index) {
  const SampleArea& area = SAMPLE_AREAS[index % SAMPLE_AREA_COUNT];
  const std::uint32_t group = (index / SAMPLE_AREA_COUNT) % SAMPLE_GROUPS;
  return std::string("assets/") + area.m_name + "/group" + Number(group, 2) +
         (index % 3 == 0 ? "/detail/" : "/") + SAMPLE_STEMS[(index / 40) % 8] + "_" +
         Number(index, 3) + "." + area.m_extension;
}

// Half of a build's new files go into folders that exist already, half
// into a folder of that build.
std::string AddedPath(std::uint32_t build, std::uint32_t k) {
  const SampleArea& area = SAMPLE_AREAS[(build + k) % SAMPLE_AREA_COUNT];
  const std::string folder = k < SAMPLE_ADDED_PER_BUILD / 2 ? "group" + Number(k % SAMPLE_GROUPS, 2)
                                                            : "update_" + std::to_string(build);
  return std::string("assets/") + area.m_name + "/" + folder + "/added_" + std::to_string(build) +
         "_" + std::to_string(k) + "." + area.m_extension;
}

}  // namespace

std::vector<SampleFile> ListSampleFiles(std::uint32_t build) {
  assert(build >= SAMPLE_FIRST_BUILD && build <= SAMPLE_LAST_BUILD);
  std::map<std::string, SampleFile> small;
  for (std::uint32_t i = 0; i < SAMPLE_BASE_FILES; ++i) {
    const std::string path = BasePath(i);
    small[path] = {path, SAMPLE_FIRST_BUILD, SAMPLE_FIRST_BUILD};
  }
  for (std::uint32_t b = SAMPLE_FIRST_BUILD + 1; b <= build; ++b) {
    for (auto it = small.begin(); it != small.end();) {
      const std::uint64_t roll = Roll(it->first, b);
      if (roll % SAMPLE_REMOVE_ONE_IN == 0) {
        it = small.erase(it);
        continue;
      }
      if ((roll >> 16) % SAMPLE_CHANGE_ONE_IN == 0) it->second.m_revision = b;
      ++it;
    }
    for (std::uint32_t k = 0; k < SAMPLE_ADDED_PER_BUILD; ++k) {
      const std::string path = AddedPath(b, k);
      small[path] = {path, b, b};
    }
  }
  for (const SampleLargeFile& large : SAMPLE_LARGE_FILES) {
    small[large.m_path] = {large.m_path, SAMPLE_FIRST_BUILD,
                           large.m_change == 0 ? SAMPLE_FIRST_BUILD : build};
  }
  std::vector<SampleFile> files;
  files.reserve(small.size());
  for (auto& [path, file] : small) files.push_back(std::move(file));
  return files;
}

std::string SampleFileContents(const SampleFile& file, std::uint32_t build) {
  const SampleLargeFile* large = LargeFileOf(file.m_path);
  if (large == nullptr) {
    const std::uint64_t roll = Roll(file.m_path, file.m_revision);
    return Bytes(roll, SAMPLE_SMALL_MIN + roll % SAMPLE_SMALL_SPREAD, AreaOf(file.m_path).m_text);
  }
  const std::uint64_t seed = PathHash(large->m_path);
  if (large->m_change == large->m_size) return Bytes(seed ^ build, large->m_size, false);
  std::string bytes = Bytes(seed, large->m_size, false);
  if (large->m_change == 0) return bytes;
  for (std::uint32_t b = SAMPLE_FIRST_BUILD + 1; b <= build; ++b) {
    const std::uint64_t roll = Roll(large->m_path, b);
    bytes.replace(roll % (large->m_size - large->m_change + 1), large->m_change,
                  Bytes(roll, large->m_change, false));
  }
  return bytes;
}

}  // namespace BramPatch
