#include "mapper/telnet/host_lookup.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#include "mapper/start_thread.h"

namespace {

// What inet_addr gives for a text that is no dotted address.
constexpr std::uint32_t kNotDotted = 0xFFFFFFFF;
// A DNS name has at most 253 characters.
constexpr std::size_t kNameRoom = 256;

bool ResolveNow(const char* hostName, std::uint32_t* address) {
  if (NetHostByName(hostName, address)) return true;
  // 255.255.255.255 names no host: asking for it only costs a wait.
  std::uint32_t dotted = NetParseDotted(hostName);
  return dotted != kNotDotted && NetHostByAddress(dotted, address);
}

// One look-up, shared by its thread and the session that waits for it; the
// last of the two to let go frees it.
struct Lookup {
  char name[kNameRoom];
  std::atomic<int> holders{2};
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  bool found = false;
  std::uint32_t address = 0;
};

void LetGo(Lookup* lookup) {
  if (lookup->holders.fetch_sub(1) == 1) delete lookup;
}

void RunLookup(void* argument) {
  auto* lookup = static_cast<Lookup*>(argument);
  std::uint32_t address = 0;
  bool found = ResolveNow(lookup->name, &address);
  {
    std::lock_guard<std::mutex> guard(lookup->lock);
    lookup->done = true;
    lookup->found = found;
    lookup->address = address;
  }
  lookup->finished.notify_all();
  LetGo(lookup);
}

}  // namespace

bool ResolveHostWhile(const char* hostName, std::uint32_t* address, int sliceMs,
                      KeepWaiting keepWaiting, const void* context) {
  if (std::strlen(hostName) >= kNameRoom) return false;
  auto* lookup = new (std::nothrow) Lookup;
  if (lookup == nullptr) return false;
  std::strcpy(lookup->name, hostName);
  if (StartThread(RunLookup, lookup) == -1) {
    delete lookup;
    return ResolveNow(hostName, address);
  }
  bool found = false;
  {
    std::unique_lock<std::mutex> guard(lookup->lock);
    while (!lookup->done && keepWaiting(context)) {
      lookup->finished.wait_for(guard, std::chrono::milliseconds(sliceMs));
    }
    found = lookup->done && lookup->found;
    if (found) *address = lookup->address;
  }
  LetGo(lookup);
  return found;
}
