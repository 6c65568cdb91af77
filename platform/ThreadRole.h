#pragma once

#include <cstdint>

#include "platform/Check.h"

namespace orvenna {

// The threads of the program, by what they do. A header names the thread each method runs on;
// ORVENNA_CHECK_THREAD verifies it in Debug and sanitizer builds.
enum class ThreadRole : std::uint8_t {
  UI = 1 << 0,         // the event loop: settings, operations, timers, windows
  Recording = 1 << 1,  // one recording's session: grabs, writes, the final assembly
  Encode = 1 << 2,     // the AVI writer's compressing thread
  Wave = 1 << 3,       // a sound input's notification thread
};

// The roles the calling thread holds; a thread may hold several (a program without a sound
// thread of its own delivers sound notifications on its UI thread).
inline thread_local std::uint8_t currentThreadRoles = 0;

inline bool InThreadRole(ThreadRole role) {
  return (currentThreadRoles & static_cast<std::uint8_t>(role)) != 0;
}

// Gives the calling thread `role` for the rest of its life: the thread an engine is built on is
// its UI thread.
inline void TakeThreadRole(ThreadRole role) {
  currentThreadRoles =
      static_cast<std::uint8_t>(currentThreadRoles | static_cast<std::uint8_t>(role));
}

// Gives the calling thread `role` for the scope's life; the roles it held before come back.
class ThreadRoleScope {
 public:
  explicit ThreadRoleScope(ThreadRole role) : before_(currentThreadRoles) {
    currentThreadRoles = static_cast<std::uint8_t>(before_ | static_cast<std::uint8_t>(role));
  }
  ~ThreadRoleScope() { currentThreadRoles = before_; }
  ThreadRoleScope(const ThreadRoleScope&) = delete;
  ThreadRoleScope& operator=(const ThreadRoleScope&) = delete;

 private:
  std::uint8_t before_;
};

}  // namespace orvenna

// ORVENNA_CHECK_THREAD(role, what): the calling thread holds `role` (ThreadRole::UI, ...);
// `what` names the method. Costs nothing in release builds.
#define ORVENNA_CHECK_THREAD(role, what) \
  ORVENNA_CHECK(::orvenna::InThreadRole(::orvenna::ThreadRole::role), what)
