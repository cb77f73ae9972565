// The host's UDP sockets behind the Winsock subset, with neutral types so
// that the Winsock declarations and the host's never meet in one file.
// Failures return -1 and the host's errno value in *err.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::nethost {

// An AF_INET datagram socket that also reports ICMP refusals of its sends.
int OpenUdp(int* err);
int Close(int fd, int* err);

// Address and port in network byte order.
long SendTo(int fd, const void* data, std::size_t size, std::uint32_t address, std::uint16_t port, int* err);

// One datagram into data[0, size). *fullSize is the datagram's own length,
// which may exceed size (the rest is dropped).
long ReceiveFrom(int fd, void* data, std::size_t size, std::size_t* fullSize, std::uint32_t* address,
                 std::uint16_t* port, int* err);

enum : short { kWantRead = 1, kWantWrite = 2, kWantExcept = 4 };
struct PollItem {
  int fd;
  short want;   // kWant* bits
  short ready;  // kWant* bits that are ready; kWantRead also for a pending error
  bool invalid; // not an open descriptor
};
// Waits at most timeoutMs (negative: for ever) for any item; returns the
// number of ready items, 0 on time-out.
int Poll(PollItem* items, std::size_t count, long long timeoutMs, int* err);

}  // namespace plat::nethost
