// The time by which a wait of several steps must be over, and what is left
// of it for the next step.
#pragma once
#include <chrono>

using Deadline = std::chrono::steady_clock::time_point;

inline Deadline DeadlineIn(int milliseconds) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

// 0 once the deadline has passed.
inline int RemainingMs(Deadline deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}
