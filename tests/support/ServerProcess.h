#pragma once
// A web server program of the machine (nginx, Python's http.server) that a
// test starts on 127.0.0.1 and stops again: the process is spawned with its
// output in a log file, counts as up once its port accepts a connection, and
// is ended (SIGTERM, then SIGKILL) when the object goes.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velbrook::testing {

class ServerProcess {
 public:
  // commandFor(port) is the program and its arguments for a server on port;
  // a port of the system's choosing is tried, and another when the server
  // exits at once (the port was taken meanwhile). Throws std::runtime_error,
  // with the log's end, when no try comes up.
  ServerProcess(const std::function<std::vector<std::string>(uint16_t port)>& commandFor,
                std::filesystem::path log);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  uint16_t port() const { return port_; }

 private:
  bool Start(const std::vector<std::string>& command);
  void Stop();

  std::filesystem::path log_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

}  // namespace velbrook::testing
