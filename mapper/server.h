// The server frame: sockets, the listener, and the orderly shutdown.
#pragma once

constexpr int kDefaultListenPort = 23000;
extern int listenPort;

// The whole serving life: 0 after an orderly stop, 1 after a start-up failure.
int RunServer();
