// Loopback TCP for the debugger stub: one listener, one connection at a time, plain blocking
// descriptors that are only read after poll says they are ready.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace velmora {

namespace {

// 1: ready, 0: not in time or a signal, -1: the descriptor failed.
int WaitReadable(int fd, uint32_t timeout) {
  pollfd entry = {fd, POLLIN, 0};
  const int ready = poll(&entry, 1, int(timeout));
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  return (entry.revents & (POLLIN | POLLHUP)) ? 1 : -1;
}

}  // namespace

PlatformSocket PlatformListenLoopback(uint16_t port, uint16_t* bound_port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidSocket;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 1) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return kInvalidSocket;
  }
  *bound_port = ntohs(address.sin_port);
  return fd;
}

bool PlatformAcceptConnection(PlatformSocket listener, uint32_t timeout,
                              PlatformSocket* connection) {
  *connection = kInvalidSocket;
  const int ready = WaitReadable(int(listener), timeout);
  if (ready <= 0) return ready == 0;
  const int fd = accept4(int(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return errno == EINTR || errno == ECONNABORTED || errno == EAGAIN;
  // Packets are small and answer each other: send them at once.
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  *connection = fd;
  return true;
}

int64_t PlatformReceive(PlatformSocket socket, void* buffer, uint32_t count, uint32_t timeout) {
  const int ready = WaitReadable(int(socket), timeout);
  if (ready <= 0) return ready;
  const ssize_t got = recv(int(socket), buffer, count, 0);
  if (got < 0) return errno == EINTR ? 0 : -1;
  return got == 0 ? -1 : got;
}

bool PlatformSend(PlatformSocket socket, const void* buffer, uint32_t count) {
  const char* at = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t sent = send(int(socket), at, count, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += sent;
    count -= uint32_t(sent);
  }
  return true;
}

void PlatformCloseSocket(PlatformSocket socket) {
  if (socket != kInvalidSocket) close(int(socket));
}

}  // namespace velmora
