// The server frame: sockets, the listener, and the orderly shutdown.
#pragma once
#include "platform/threads.h"

constexpr int kDefaultListenPort = 23000;
extern int listenPort;

// The whole serving life: 0 after an orderly stop, 1 after a start-up failure.
int RunServer();
int InitSockets();
int ListenLoop();
void WaitForThreads();

// Every thread of the mapper runs on a stack of this size.
constexpr unsigned kThreadStackBytes = 65536;
// The thread's id, or -1 when it did not start.
int StartThread(ThreadFunction function, void* argument);
