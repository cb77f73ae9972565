#include "fake_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {
int BoundSocket(std::uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) throw std::runtime_error("bind");
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  *port = ntohs(address.sin_port);
  return fd;
}
}  // namespace

FakeAgent::FakeAgent() {
  fd_ = BoundSocket(&port_);
  thread_ = std::thread([this] { Serve(); });
}

FakeAgent::~FakeAgent() {
  stop_ = true;
  thread_.join();
  ::close(fd_);
}

void FakeAgent::SetScript(Script script) {
  std::lock_guard guard(lock_);
  script_ = std::move(script);
}

Bytes FakeAgent::LastRequest() const {
  std::lock_guard guard(lock_);
  return last_;
}

void FakeAgent::Serve() {
  std::vector<std::uint8_t> buffer(70000);
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (n < 0) continue;
    Bytes request(buffer.begin(), buffer.begin() + n);
    std::vector<Bytes> answers;
    {
      std::lock_guard guard(lock_);
      last_ = request;
      const int index = requests_.load();
      if (script_) answers = script_(request, index);
    }
    ++requests_;
    for (const Bytes& answer : answers) {
      ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), fromSize);
    }
  }
}

std::uint16_t ClosedPort() {
  std::uint16_t port = 0;
  int fd = BoundSocket(&port);
  ::close(fd);
  return port;
}
