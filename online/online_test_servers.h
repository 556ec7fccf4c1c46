// Real servers on 127.0.0.1 for the transfer client's tests: nginx (HTTP and
// HTTPS with a certificate made at test time), vsftpd (anonymous,
// read-only) and the fault servers of testdata/fault_servers.py. Each runs
// as our child from a configuration in its own temporary directory, on a
// free port, and is killed when its object goes. A server that cannot be
// started fails the test: the binaries are part of the test setup.
#pragma once

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/child_process.h"
#include "foundation/paths_test_support.h"
#include "online/inet_session.h"

namespace online_test {

inline const std::string PYTHON = "/usr/bin/python3";
inline const std::string FAULT_SCRIPT =
    std::string(OMVEL_SOURCE_DIR) + "/online/testdata/fault_servers.py";

inline std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Short limits so that failing transfers end quickly; restored afterwards.
class ShortTimeouts {
 public:
  ShortTimeouts() : m_saved(BramInetInternal::GetTimeouts()) {
    BramInetTimeouts shorter;
    shorter.m_connect_ms = 5000;
    shorter.m_stall_seconds = 2;
    shorter.m_retry_wait_ms = 20;
    BramInetInternal::SetTimeouts(shorter);
    // Loopback never goes through a proxy the machine may have configured.
    setenv("no_proxy", "127.0.0.1,localhost", 1);
  }
  ~ShortTimeouts() { BramInetInternal::SetTimeouts(m_saved); }

 private:
  BramInetTimeouts m_saved;
};

// Runs a program to its end; its output, or "" with a test failure when it
// cannot start or exits with a non-zero code.
inline std::string RunToEnd(const std::string& program, const std::string& arguments) {
  std::unique_ptr<ChildProcess> child(StartChildProcess(program, arguments));
  if (child == nullptr) {
    ADD_FAILURE() << "cannot start " << program;
    return "";
  }
  std::string output;
  while (ReadChildOutput(child.get(), output)) {
  }
  WaitChild(child.get(), 30000);
  if (ChildExitCode(child.get()) != 0) {
    ADD_FAILURE() << program << " " << arguments << " failed: " << output;
    return "";
  }
  return output;
}

inline int FreePort() {
  return std::atoi(RunToEnd(PYTHON, Quote(FAULT_SCRIPT) + " freeport").c_str());
}

// True once something accepts connections on the port (at most ~10 s).
inline bool WaitForPort(int port) {
  for (int i = 0; i < 200; ++i) {
    CURL* probe = curl_easy_init();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    curl_easy_setopt(probe, CURLOPT_URL, url.c_str());
    curl_easy_setopt(probe, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(probe, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(probe, CURLOPT_CONNECTTIMEOUT_MS, 500L);
    const CURLcode code = curl_easy_perform(probe);
    curl_easy_cleanup(probe);
    if (code == CURLE_OK) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One server process; killed and reaped on destruction.
class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool Start(const std::string& program, const std::string& arguments) {
    Stop();
    m_child.reset(StartChildProcess(program, arguments));
    return m_child != nullptr;
  }
  // The first output line of the child ("" when it ended first).
  std::string ReadFirstLine() {
    std::string text;
    while (text.find('\n') == std::string::npos && ReadChildOutput(m_child.get(), text)) {
    }
    return text.substr(0, text.find('\n'));
  }
  bool IsRunning() { return m_child != nullptr && !WaitChild(m_child.get(), 0); }
  void Stop() {
    if (m_child == nullptr) return;
    KillChild(m_child.get());
    WaitChild(m_child.get(), 10000);
    CloseChild(m_child.get());
    m_child.reset();
  }

 private:
  std::unique_ptr<ChildProcess> m_child;
};

// nginx serving www/ of its directory over HTTP and HTTPS. Extra locations:
//   /to-https/NAME  302 to https://.../NAME      (on HTTP)
//   /to-http/NAME   302 to http://.../NAME       (on HTTPS)
//   /to-file        302 to file:///etc/passwd    (on HTTP)
// The access log has one line per request:
//   "METHOD URI STATUS|user agent|Pragma|Cache-Control|remote user".
class NginxServer {
 public:
  NginxServer() { std::filesystem::create_directories(m_dir.Sub("www")); }

  const std::string& Root() const { return m_root; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path;
  }
  std::string TlsUrl(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(m_tls_port) + "/" + path;
  }
  std::string CertificateFile() const { return m_dir.Sub("cert.pem"); }
  int Port() const { return m_port; }
  std::vector<std::string> AccessLog() const { return ReadLines(m_dir.Sub("access.log")); }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    WriteTextFile(m_root + "/" + name, bytes);
  }

  // Makes the certificate and starts nginx; a test failure when it cannot.
  bool Start() {
    RunToEnd("openssl",
             "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
             "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                 Quote(m_dir.Sub("key.pem")) + " -out " + Quote(CertificateFile()));
    for (int attempt = 0; attempt < 3; ++attempt) {
      m_port = FreePort();
      m_tls_port = FreePort();
      WriteConfig();
      if (!m_process.Start("nginx", "-p " + Quote(m_dir.path()) + " -c " +
                                        Quote(m_dir.Sub("nginx.conf")) + " -e " +
                                        Quote(m_dir.Sub("error.log")) + " -g \"daemon off;\"")) {
        ADD_FAILURE() << "cannot start nginx (is nginx-light installed?)";
        return false;
      }
      if (WaitForPort(m_port) && WaitForPort(m_tls_port) && m_process.IsRunning()) return true;
      m_process.Stop();  // most likely a port taken meanwhile: try others
    }
    ADD_FAILURE() << "nginx did not start: " << ReadTextFile(m_dir.Sub("error.log"));
    return false;
  }

 private:
  void WriteConfig() {
    const std::string d = m_dir.path();
    std::ostringstream conf;
    conf << "master_process off;\nerror_log " << d << "/error.log;\npid " << d << "/nginx.pid;\n"
         << "events { worker_connections 64; }\nhttp {\n"
         << "  log_format probe '$request $status|$http_user_agent|$http_pragma|"
            "$http_cache_control|$remote_user';\n"
         << "  access_log " << d << "/access.log probe;\n"
         << "  client_body_temp_path " << d << "/body;\n  proxy_temp_path " << d << "/proxy;\n"
         << "  fastcgi_temp_path " << d << "/fastcgi;\n  uwsgi_temp_path " << d << "/uwsgi;\n"
         << "  scgi_temp_path " << d << "/scgi;\n"
         << "  default_type application/octet-stream;\n  sendfile on;\n"
         << "  server {\n    listen 127.0.0.1:" << m_port << ";\n    root " << m_root << ";\n"
         << "    location /to-https/ { rewrite ^/to-https/(.*)$ https://127.0.0.1:" << m_tls_port
         << "/$1 redirect; }\n"
         << "    location = /to-file { return 302 file:///etc/passwd; }\n  }\n"
         << "  server {\n    listen 127.0.0.1:" << m_tls_port << " ssl;\n"
         << "    ssl_certificate " << CertificateFile() << ";\n"
         << "    ssl_certificate_key " << d << "/key.pem;\n    root " << m_root << ";\n"
         << "    location /to-http/ { rewrite ^/to-http/(.*)$ http://127.0.0.1:" << m_port
         << "/$1 redirect; }\n  }\n}\n";
    WriteTextFile(m_dir.Sub("nginx.conf"), conf.str());
  }

  ScopedTempDir m_dir;
  std::string m_root = m_dir.Sub("www");
  int m_port = 0;
  int m_tls_port = 0;
  ServerProcess m_process;
};

// vsftpd: anonymous, read-only, login directory root/ of its directory.
// Its protocol log lists every command ("FTP command: ... "REST 1000"").
class VsftpdServer {
 public:
  VsftpdServer() {
    std::filesystem::create_directories(m_dir.Sub("root"));
    std::filesystem::create_directories(m_dir.Sub("empty"));
  }

  const std::string& Root() const { return m_root; }
  std::string Url(const std::string& path) const {
    return "ftp://127.0.0.1:" + std::to_string(m_port) + "/" + path;
  }
  int Port() const { return m_port; }
  // Files must be world-readable for an anonymous session.
  void WriteFile(const std::string& name, const std::string& bytes) const {
    const std::string path = m_root + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteTextFile(path, bytes);
    std::filesystem::permissions(path, std::filesystem::perms(0644));
  }
  // The commands the server received, e.g. "REST 1000", in order.
  std::vector<std::string> Commands() const {
    std::vector<std::string> commands;
    for (const std::string& line : ReadLines(m_dir.Sub("vsftpd.log"))) {
      static const std::string MARK = "FTP command: Client \"127.0.0.1\", \"";
      const size_t at = line.find(MARK);
      if (at == std::string::npos) continue;
      std::string command = line.substr(at + MARK.size());
      if (!command.empty() && command.back() == '"') command.pop_back();
      commands.push_back(command);
    }
    return commands;
  }

  bool Start() {
    for (int attempt = 0; attempt < 3; ++attempt) {
      m_port = FreePort();
      std::ostringstream conf;
      conf << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << m_port << "\n"
           << "background=NO\nrun_as_launching_user=YES\nanonymous_enable=YES\n"
           << "anon_root=" << m_root << "\nno_anon_password=YES\nlocal_enable=NO\n"
           << "write_enable=NO\npasv_enable=YES\npasv_address=127.0.0.1\nport_enable=YES\n"
           << "connect_from_port_20=NO\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
           << "secure_chroot_dir=" << m_dir.Sub("empty") << "\n"
           << "xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
           << "vsftpd_log_file=" << m_dir.Sub("vsftpd.log") << "\n";
      WriteTextFile(m_dir.Sub("vsftpd.conf"), conf.str());
      if (!m_process.Start("vsftpd", Quote(m_dir.Sub("vsftpd.conf")))) {
        ADD_FAILURE() << "cannot start vsftpd (is vsftpd installed?)";
        return false;
      }
      if (WaitForPort(m_port) && m_process.IsRunning()) return true;
      m_process.Stop();
    }
    ADD_FAILURE() << "vsftpd did not start";
    return false;
  }

 private:
  ScopedTempDir m_dir;
  std::string m_root = m_dir.Sub("root");
  int m_port = 0;
  ServerProcess m_process;
};

// A server of testdata/fault_servers.py ("http" or "ftp ROOT MODE").
class FaultServer {
 public:
  // Starts it; a test failure when it does not report its port.
  bool StartHttp() { return Start("http " + Quote(Log())); }
  bool StartFtp(const std::string& mode) {
    std::filesystem::create_directories(Root());
    return Start("ftp " + Quote(Root()) + " " + Quote(Log()) + " " + mode);
  }

  std::string Root() const { return m_dir.Sub("root"); }
  std::string Url(const std::string& scheme, const std::string& path) const {
    return scheme + "://127.0.0.1:" + std::to_string(m_port) + "/" + path;
  }
  // One line per request or FTP command of interest, in order.
  std::vector<std::string> Requests() const { return ReadLines(Log()); }

 private:
  std::string Log() const { return m_dir.Sub("requests.log"); }
  bool Start(const std::string& arguments) {
    if (!m_process.Start(PYTHON, Quote(FAULT_SCRIPT) + " " + arguments)) {
      ADD_FAILURE() << "cannot start " << PYTHON;
      return false;
    }
    const std::string line = m_process.ReadFirstLine();
    if (line.rfind("PORT ", 0) != 0) {
      ADD_FAILURE() << "fault server did not start: " << line;
      return false;
    }
    m_port = std::atoi(line.c_str() + 5);
    return true;
  }

  ScopedTempDir m_dir;
  int m_port = 0;
  ServerProcess m_process;
};

}  // namespace online_test
