// A scripted SNMP peer on 127.0.0.1 for what a real agent never sends:
// silence, broken answers, wrong ids, oversized datagrams. Host sockets only,
// so this header stays free of the platform's Winsock names.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class FakeAgent {
 public:
  // Datagrams to send back for the n-th request (0-based); none for silence.
  using Script = std::function<std::vector<Bytes>(const Bytes& request, int n)>;

  FakeAgent();
  ~FakeAgent();
  FakeAgent(const FakeAgent&) = delete;
  FakeAgent& operator=(const FakeAgent&) = delete;

  std::uint16_t Port() const { return port_; }
  void SetScript(Script script);
  int RequestCount() const { return requests_.load(); }
  Bytes LastRequest() const;

 private:
  void Serve();

  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  mutable std::mutex lock_;
  Script script_;
  Bytes last_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
std::uint16_t ClosedPort();
