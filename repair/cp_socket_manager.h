// The completion-port socket manager: one event loop (the "port") and the
// worker threads that run it, shared by every socket of the process through
// a reference count. Only the worker issues socket calls and handles their
// completions; user threads post operations and wait (tcp_socket.h).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CPSocketManager;
class IOCompletionPort;  // io_completion_port.h; the Asio event loop

class CPWorkerThread {
 public:
  // Starts a thread that runs the manager's port until it is shut down.
  explicit CPWorkerThread(CPSocketManager* manager);
  // Waits for the thread to end. REQUIRES: the port was shut down.
  ~CPWorkerThread();
  CPWorkerThread(const CPWorkerThread&) = delete;
  CPWorkerThread& operator=(const CPWorkerThread&) = delete;

 private:
  CPSocketManager* m_manager;
  std::thread m_thread;
};

class CPSocketManager {
 public:
  // Creates the port and `threads` workers (at least one).
  explicit CPSocketManager(int threads);
  // Ends every worker (one shutdown signal each) and closes the port.
  // REQUIRES: no socket of this manager is left.
  ~CPSocketManager();
  CPSocketManager(const CPSocketManager&) = delete;
  CPSocketManager& operator=(const CPSocketManager&) = delete;

  IOCompletionPort& GetPort() { return *m_port; }
  int GetWorkerCount() const { return m_workercount; }
  // Guards the worker list and the association of sockets with the port.
  std::recursive_mutex& GetLock() { return m_lock; }

 private:
  std::unique_ptr<IOCompletionPort> m_port;
  std::vector<std::unique_ptr<CPWorkerThread>> m_workers;  // guarded by m_lock
  int m_workercount;
  std::recursive_mutex m_lock;
};

// The process-wide manager, counted: the first acquire creates it with
// `threads` workers (later acquires ignore the figure), the last release
// destroys it. The application holds one reference for its whole run and
// every BramDataBufferTCP one more, so the process runs one worker.
CPSocketManager* AcquireSocketManager(int threads);
void ReleaseSocketManager();

// True on a completion-port worker thread.
bool IsInIOCPThread();

// A number for the calling thread, unique in the process and never -1
// (which marks "no thread" in the socket's bookkeeping).
std::int64_t CurrentThreadNumber();
