#pragma once
// TSystemNetStack: the system's TCP sockets behind the server's socket contracts
// (igtl/NetSockets.h). Every socket is non-blocking; accepted connections have
// Nagle's delay off (TCP_NODELAY), so that each message leaves at once.
//
// POSIX (NetServer_posix.cpp): socket, setsockopt(SO_REUSEADDR) so that a server
// restarted at once on the same port listens again although the connections it
// closed are still in TIME_WAIT (a second listener on a port in use is still
// refused), bind, listen, accept4(SOCK_NONBLOCK | SOCK_CLOEXEC), send with
// MSG_NOSIGNAL (a peer that went away gives an error, never SIGPIPE), recv, close.
//
// Win32 (NetServer_win32.cpp): Winsock 2 (WSAStartup once for the process),
// socket, bind, listen, ioctlsocket(FIONBIO), accept, send, recv, closesocket.
// No address option is set: on Windows SO_REUSEADDR would let another program
// bind the same port and take over the connections, and SO_EXCLUSIVEADDRUSE
// would refuse a restart while closed connections linger in TIME_WAIT; the
// default already refuses a second listener and allows the restart.
#include <memory>

#include "igtl/NetSockets.h"

class TSystemNetStack : public INetStack {
 public:
  std::unique_ptr<INetListener> NewListener() override;
};
