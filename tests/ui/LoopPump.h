// Runs GLib's default main context until a condition holds, as the program's
// loop would, without sleeping. A generous guard ends a wait that would
// otherwise hang the test.
#pragma once

#include <glib.h>

#include <functional>

namespace mr::test {

// True when `done` turned true, false when the guard ran out first.
inline bool pumpUntil(const std::function<bool()>& done, guint guardMs = 20000) {
  bool expired = false;
  const guint guard = g_timeout_add(
      guardMs,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &expired);
  while (!done() && !expired) g_main_context_iteration(nullptr, TRUE);
  if (!expired) g_source_remove(guard);
  return done();
}

}  // namespace mr::test
