// The process-wide internet session of the transfer client and the limits
// every transfer runs under.
#pragma once

#include <cstdint>

struct BramInetTimeouts {
  std::uint32_t m_connect_ms = 60000;    // name lookup, connect, TLS and FTP login
  std::uint32_t m_stall_seconds = 60;    // a transfer that moves no byte this long fails
  std::uint32_t m_retry_wait_ms = 1000;  // pause between two attempts of one call
};

class BramInetInternal {
 public:
  // Opens the session (libcurl's global state) unless it is open; true when
  // it is. A failure writes "BramInetInternal::CreateInternetSession>
  // InternetOpen failed with error <n>" and is tried again on the next call.
  // The session stays open until the process ends.
  static bool CreateInternetSession();

  // The limits of later transfers. Set them before transfers start (tests
  // shorten them); not guarded against a transfer running meanwhile.
  static void SetTimeouts(const BramInetTimeouts& timeouts);
  static BramInetTimeouts GetTimeouts();
};
