// Loopback TCP for the debugger stub on Winsock: one listener, one connection at a time, blocking
// sockets that are only read after select says they are ready.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/platform.h"

namespace velmora {

namespace {

bool WinsockReady() {
  static bool tried = false, ready = false;
  if (!tried) {
    tried = true;
    WSADATA data;
    ready = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  return ready;
}

SOCKET Socket(PlatformSocket socket) {
  return static_cast<SOCKET>(socket);
}

// 1: ready, 0: not in time, -1: the socket failed.
int WaitReadable(SOCKET socket, uint32_t timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval wait = {long(timeout / 1000), long(timeout % 1000) * 1000};
  const int ready = select(0, &readable, nullptr, nullptr, &wait);
  if (ready == SOCKET_ERROR) return -1;
  return ready == 0 ? 0 : 1;
}

}  // namespace

PlatformSocket PlatformListenLoopback(uint16_t port, uint16_t* bound_port) {
  if (!WinsockReady()) return kInvalidSocket;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return kInvalidSocket;
  // No other program may take the port over while it is listened on.
  const BOOL on = TRUE;
  setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(listener);
    return kInvalidSocket;
  }
  *bound_port = ntohs(address.sin_port);
  return static_cast<PlatformSocket>(listener);
}

bool PlatformAcceptConnection(PlatformSocket listener, uint32_t timeout,
                              PlatformSocket* connection) {
  *connection = kInvalidSocket;
  const int ready = WaitReadable(Socket(listener), timeout);
  if (ready <= 0) return ready == 0;
  const SOCKET accepted = accept(Socket(listener), nullptr, nullptr);
  if (accepted == INVALID_SOCKET) return WSAGetLastError() == WSAECONNRESET;
  // Packets are small and answer each other: send them at once.
  const BOOL on = TRUE;
  setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  *connection = static_cast<PlatformSocket>(accepted);
  return true;
}

int64_t PlatformReceive(PlatformSocket socket, void* buffer, uint32_t count, uint32_t timeout) {
  const int ready = WaitReadable(Socket(socket), timeout);
  if (ready <= 0) return ready;
  const int got = recv(Socket(socket), static_cast<char*>(buffer), int(count), 0);
  return got <= 0 ? -1 : got;
}

bool PlatformSend(PlatformSocket socket, const void* buffer, uint32_t count) {
  const char* at = static_cast<const char*>(buffer);
  while (count > 0) {
    const int sent = send(Socket(socket), at, int(count), 0);
    if (sent == SOCKET_ERROR) return false;
    at += sent;
    count -= uint32_t(sent);
  }
  return true;
}

void PlatformCloseSocket(PlatformSocket socket) {
  if (socket != kInvalidSocket) closesocket(Socket(socket));
}

}  // namespace velmora
