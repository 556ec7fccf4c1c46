#include "foundation/log.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/paths_test_support.h"
#include "foundation/utf.h"

namespace {

const std::string LOG_CHILD = std::string(OMVEL_TESTCHILD_DIR) + "/log_testchild";

// Collects what this process writes to fd 1 meanwhile.
TEST(Log, LinesEndInALineFeedAndStopAtNul) {
  EXPECT_FALSE(LogIsRedirected());  // nobody made a FIFO for the test process
  StdoutCapture capture;
  LogPrintf("%s", "");
  LogPrintf("MakeDirectory> mkdir returned err %d", 17);
  LogPrintf("a%cb", 0);
  LogDispatch("direct");
  EXPECT_EQ(capture.Finish(), "\nMakeDirectory> mkdir returned err 17\na\ndirect\n");
}

TEST(Log, LongTextsAreCutTo32767Bytes) {
  StdoutCapture capture;
  LogPrintf("%s", std::string(40000, 'x').c_str());
  LogPrintf("%s", std::string(32767, 'y').c_str());  // fits exactly
  // The cut at byte 32767 would split the two-byte character: it goes whole.
  LogPrintf("%s\xC3\xA9", std::string(32766, 'z').c_str());
  EXPECT_EQ(capture.Finish(), std::string(32767, 'x') + "\n" + std::string(32767, 'y') + "\n" +
                                  std::string(32766, 'z') + "\n");
}

TEST(Log, WideTextsBecomeUtf8AndAreCutTo32767Characters) {
  StdoutCapture capture;
  LogPrintfW(L"%ls> err %d", L"Caf\u00e9 \U0001F600", -5);
  LogPrintfW(L"%ls", std::wstring(40000, L'\u00e9').c_str());
  std::string cut;
  for (int i = 0; i < 32767; ++i) cut += "\xC3\xA9";
  EXPECT_EQ(capture.Finish(), "Caf\xC3\xA9 \xF0\x9F\x98\x80> err -5\n" + cut + "\n");
}

TEST(Log, LoggingLeavesErrnoAlone) {
  StdoutCapture capture;
  errno = ENOSPC;
  LogPrintf("x");
  LogPrintfW(L"y");
  EXPECT_EQ(errno, ENOSPC);
}

TEST(Log, EveryLineIsWrittenWhole) {
  StdoutCapture capture;
  std::vector<std::thread> threads;
  for (char letter = 'a'; letter < 'e'; ++letter) {
    threads.emplace_back([letter] {
      const std::string text(3000, letter);
      for (int i = 0; i < 100; ++i) LogPrintf("%s", text.c_str());
    });
  }
  {
    // A report of several lines holds the lock; the re-entrant lock lets it log.
    std::lock_guard<std::recursive_mutex> report(LogLock());
    LogPrintf("report 1");
    LogPrintf("report 2");
  }
  for (std::thread& t : threads) t.join();
  const std::string out = capture.Finish();
  std::size_t lines = 0, reports = 0;
  for (std::size_t start = 0; start < out.size(); ++lines) {
    const std::size_t end = out.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = out.substr(start, end - start);
    if (line == "report 1") {
      ASSERT_EQ(out.compare(end + 1, 9, "report 2\n"), 0) << "a line came between the report";
      ++reports;
    } else if (line != "report 2") {
      ASSERT_EQ(line, std::string(3000, line[0]));
    }
    start = end + 1;
  }
  EXPECT_EQ(lines, 402u);
  EXPECT_EQ(reports, 1u);
}

// What a run of the log test child left in the FIFO and on its stdout.
struct ChildRun {
  std::string fifo;  // bytes read from the FIFO (when a reader was set up)
  std::string stdout_bytes;
  int exit_code = -1;  // 0: the child saw itself redirected
};

// Forks, lets `prepare` set up /tmp/<pid>cout for the child's pid (returning
// a reader descriptor or -1), then lets the child exec the log test child.
ChildRun RunLogChild(const std::function<int(const std::string&)>& prepare) {
  int go[2], out[2];
  EXPECT_EQ(pipe2(go, O_CLOEXEC), 0);
  EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(go[1]);
    char token;
    if (read(go[0], &token, 1) == 1) execl(LOG_CHILD.c_str(), LOG_CHILD.c_str(), nullptr);
    _exit(127);
  }
  close(go[0]);
  close(out[1]);
  const std::string fifo_path = "/tmp/" + std::to_string(pid) + "cout";
  const int reader = prepare(fifo_path);
  EXPECT_EQ(write(go[1], "g", 1), 1);
  close(go[1]);

  ChildRun run;
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  const auto drain = [](int fd, std::string* into) {
    char buffer[65536];
    for (long n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) into->append(buffer, n);
  };
  for (bool done = false; !done;) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {reader, POLLIN, 0}};
    poll(fds, reader >= 0 ? 2 : 1, 50);
    drain(out[0], &run.stdout_bytes);
    drain(reader, &run.fifo);
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      done = true;
    }
  }
  drain(out[0], &run.stdout_bytes);
  drain(reader, &run.fifo);
  close(out[0]);
  if (reader >= 0) close(reader);
  unlink(fifo_path.c_str());
  return run;
}

int MakeFifoReader(const std::string& path) {
  if (mkfifo(path.c_str(), 0600) != 0) return -1;
  return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

std::string Utf16Le(const std::string& utf8) { return Utf16ToLeBytes(Utf8ToUtf16(utf8)); }

// The child logs "abc", "", 40000 'x' and a wide text.
const std::string CHILD_LINES =
    "abc\n\n" + std::string(32767, 'x') + "\nw \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 5\n";

TEST(Log, ParentFifoReceivesUtf16LeLines) {
  const ChildRun run = RunLogChild(MakeFifoReader);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.stdout_bytes, "");  // fd 1 is the FIFO now
  ASSERT_GE(run.fifo.size(), 8u);
  EXPECT_EQ(run.fifo.substr(0, 8), std::string("a\0b\0c\0\n\0", 8));
  EXPECT_EQ(run.fifo.substr(8, 2), std::string("\n\0", 2));  // the empty message
  EXPECT_EQ(run.fifo, Utf16Le(CHILD_LINES));
}

TEST(Log, WithoutFifoLinesGoToStandardOutputAsUtf8) {
  const ChildRun run = RunLogChild([](const std::string&) { return -1; });
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stdout_bytes, CHILD_LINES);
}

TEST(Log, FifoWithoutReaderDoesNotBlockStartUp) {
  const ChildRun run = RunLogChild([](const std::string& path) {
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    return -1;
  });
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stdout_bytes, CHILD_LINES);
}

TEST(Log, OnlyAFifoOfOurOwnCountsAsThePipe) {
  ScopedTempDir temp;
  const std::string elsewhere = temp.Sub("fifo");
  int elsewhere_reader = -1;

  const std::function<int(const std::string&)> impostors[] = {
      [](const std::string& path) {  // a plain file
        WriteTextFile(path, "");
        return -1;
      },
      [&](const std::string& path) {  // a link to a FIFO that someone reads
        EXPECT_EQ(mkfifo(elsewhere.c_str(), 0600), 0);
        elsewhere_reader = open(elsewhere.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_EQ(symlink(elsewhere.c_str(), path.c_str()), 0);
        return -1;
      },
  };
  for (const auto& prepare : impostors) {
    const ChildRun run = RunLogChild(prepare);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.stdout_bytes, CHILD_LINES);
  }
  char byte;
  EXPECT_LE(read(elsewhere_reader, &byte, 1), 0);  // nothing went through the link
  close(elsewhere_reader);

  if (geteuid() != 0) return;  // only root can hand a FIFO to another user
  const ChildRun foreign = RunLogChild([](const std::string& path) {
    const int reader = MakeFifoReader(path);
    EXPECT_EQ(chown(path.c_str(), 65534, 65534), 0);
    return reader;
  });
  EXPECT_EQ(foreign.exit_code, 1);
  EXPECT_EQ(foreign.fifo, "");
  EXPECT_EQ(foreign.stdout_bytes, CHILD_LINES);
}

// The log test child in its steered mode, with a FIFO reader for its pid.
class SteeredChild {
 public:
  SteeredChild() {
    int go[2], commands[2];
    EXPECT_EQ(pipe2(go, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(commands, O_CLOEXEC), 0);
    m_pid = fork();
    if (m_pid == 0) {
      dup2(commands[0], STDIN_FILENO);
      close(go[1]);
      close(commands[1]);
      char token;
      if (read(go[0], &token, 1) == 1) {
        execl(LOG_CHILD.c_str(), LOG_CHILD.c_str(), "steered", nullptr);
      }
      _exit(127);
    }
    close(go[0]);
    close(commands[0]);
    m_commands = commands[1];
    m_path = "/tmp/" + std::to_string(m_pid) + "cout";
    m_reader = MakeFifoReader(m_path);
    EXPECT_EQ(write(go[1], "g", 1), 1);
    close(go[1]);
  }
  ~SteeredChild() {
    CloseReader();
    if (m_commands >= 0) close(m_commands);
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    unlink(m_path.c_str());
  }

  // Reads from the FIFO until `size` bytes came or the writer closed it. A
  // child that does neither for 30 s counts as hung (a failure, not a
  // measurement).
  std::string Read(std::size_t size, bool* end_of_data) {
    std::string got;
    *end_of_data = false;
    while (got.size() < size) {
      pollfd entry{m_reader, POLLIN, 0};
      if (poll(&entry, 1, 30000) == 0) {
        ADD_FAILURE() << "the child neither wrote nor closed the FIFO";
        break;
      }
      char buffer[256];
      const long n = read(m_reader, buffer, std::min(sizeof buffer, size - got.size()));
      if (n == 0) {
        *end_of_data = true;
        break;
      }
      if (n > 0) got.append(buffer, n);
    }
    return got;
  }
  void CloseReader() {
    if (m_reader >= 0) close(m_reader);
    m_reader = -1;
  }
  void Send(char command) { EXPECT_EQ(write(m_commands, &command, 1), 1); }
  // Ends the command stream and returns the raw wait status.
  int Finish() {
    close(m_commands);
    m_commands = -1;
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
  }

 private:
  pid_t m_pid = -1;
  int m_commands = -1;
  int m_reader = -1;
  std::string m_path;
};

TEST(Log, ALauncherThatStopsReadingDoesNotKillTheProcess) {
  SteeredChild child;
  bool end = false;
  EXPECT_EQ(child.Read(12, &end), Utf16Le("first\n"));
  child.CloseReader();
  child.Send('l');  // this line meets a FIFO without reader: EPIPE, no SIGPIPE death
  child.Send('l');
  const int status = child.Finish();
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Log, ShutdownHandsTheFifoBack) {
  SteeredChild child;
  bool end = false;
  EXPECT_EQ(child.Read(12, &end), Utf16Le("first\n"));
  child.Send('s');
  child.Send('l');  // after the shutdown nothing more reaches the FIFO
  // The end of data comes while the child still runs: fd 1 let go of it.
  EXPECT_EQ(child.Read(1, &end), "");
  EXPECT_TRUE(end);
  EXPECT_EQ(child.Finish(), 0);
}

}  // namespace
