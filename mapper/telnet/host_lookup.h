// The telnet server's address from the host text of a login request. The
// system resolver may block for as long as its time-outs let it (half a
// minute and more with a DNS server that never answers), outside every
// bounded wait of the session, so the look-up runs on a thread of its own
// that the session stops waiting for when it ends.
#pragma once
#include <cstdint>

#include "platform/net.h"

// A name first; failing that, the text as a dotted address whose host
// record the resolver knows. Waits in slices of sliceMs and gives up once
// keepWaiting(context) is false before a slice; the look-up then ends on
// its own. True with the address (network order) when the host was found.
bool ResolveHostWhile(const char* hostName, std::uint32_t* address, int sliceMs,
                      KeepWaiting keepWaiting, const void* context);
