#include "net_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace plat::nethost {

int OpenUdp(int* err) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) {
    *err = errno;
    return -1;
  }
  // Without this an unconnected socket never hears of an ICMP port
  // unreachable, which Winsock reports on the next receive.
  int on = 1;
  ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
  return fd;
}

int Close(int fd, int* err) {
  if (::close(fd) != 0) {
    *err = errno;
    return -1;
  }
  return 0;
}

namespace {
// Drops queued ICMP reports once one has been returned, so that it is
// reported once and the socket stops looking readable.
void DrainErrorQueue(int fd) {
  char data[64];
  char control[512];
  for (int i = 0; i < 64; ++i) {
    iovec io{data, sizeof data};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return;
  }
}
}  // namespace

long SendTo(int fd, const void* data, std::size_t size, std::uint32_t address, std::uint16_t port, int* err) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = port;
  to.sin_addr.s_addr = address;
  for (int attempt = 0; attempt < 3; ++attempt) {
    ssize_t n = ::sendto(fd, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n >= 0) return static_cast<long>(n);
    // A refusal of an earlier datagram surfaces here on the host; Winsock
    // keeps it for the receive, and this send itself is fine.
    if (errno == ECONNREFUSED || errno == EINTR) {
      DrainErrorQueue(fd);
      continue;
    }
    *err = errno;
    return -1;
  }
  *err = ECONNREFUSED;
  return -1;
}

long ReceiveFrom(int fd, void* data, std::size_t size, std::size_t* fullSize, std::uint32_t* address,
                 std::uint16_t* port, int* err) {
  sockaddr_in from{};
  socklen_t fromSize = sizeof from;
  ssize_t n;
  do {
    n = ::recvfrom(fd, data, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromSize);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    *err = errno;
    if (errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH) DrainErrorQueue(fd);
    return -1;
  }
  *fullSize = static_cast<std::size_t>(n);
  *address = from.sin_addr.s_addr;
  *port = from.sin_port;
  return static_cast<long>(static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size);
}

int Poll(PollItem* items, std::size_t count, long long timeoutMs, int* err) {
  std::vector<pollfd> fds(count);
  for (std::size_t i = 0; i < count; ++i) {
    fds[i].fd = items[i].fd;
    fds[i].events = static_cast<short>(((items[i].want & kWantRead) ? POLLIN : 0) |
                                       ((items[i].want & kWantWrite) ? POLLOUT : 0) |
                                       ((items[i].want & kWantExcept) ? POLLPRI : 0));
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left <= 0 ? 0 : static_cast<int>(left > 0x7FFFFFFF ? 0x7FFFFFFF : left);
    }
    int n = ::poll(fds.data(), fds.size(), wait);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *err = errno;
      return -1;
    }
    if (n == 0 && timeoutMs >= 0 && Clock::now() < deadline) continue;  // early wake-up
    int ready = 0;
    for (std::size_t i = 0; i < count; ++i) {
      short got = fds[i].revents;
      items[i].invalid = (got & POLLNVAL) != 0;
      items[i].ready = static_cast<short>(((got & (POLLIN | POLLERR | POLLHUP)) ? kWantRead : 0) |
                                          ((got & POLLOUT) ? kWantWrite : 0) | ((got & POLLPRI) ? kWantExcept : 0));
      items[i].ready &= items[i].want;
      if (items[i].ready) ++ready;
    }
    return ready;
  }
}

}  // namespace plat::nethost
