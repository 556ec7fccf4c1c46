// A small child for the child-process tests; the first argument picks what
// it does.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n <= 0) std::exit(3);
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "silent") return 0;
  if (mode == "bytes" && argc > 2) {
    // One write of N bytes: 'a'..'z' repeated.
    std::string data(std::strtoul(argv[2], nullptr, 10), ' ');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    WriteAll(1, data);
    return 0;
  }
  if (mode == "nul") {
    WriteAll(1, std::string("abc\0def", 7));
    return 0;
  }
  if (mode == "streams") {
    WriteAll(1, "out\n");
    WriteAll(2, "err\n");
    return 0;
  }
  if (mode == "args") {
    std::string text;
    for (int i = 2; i < argc; ++i) text += std::string("[") + argv[i] + "]";
    WriteAll(1, text);
    return 0;
  }
  if (mode == "fds") {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return 2;
    std::string text;
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      if (std::atoi(entry->d_name) == dirfd(dir)) continue;
      text += std::string(entry->d_name) + " ";
    }
    closedir(dir);
    WriteAll(1, text);
    return 0;
  }
  if (mode == "exit" && argc > 2) return std::atoi(argv[2]);
  if (mode == "pause") {
    for (;;) pause();
  }
  return 100;
}
