// The end of the process's background work. Threads that outlive main()
// would run on while the program's statics are destroyed under them, so
// every way out (quitting the window, a command's end) comes here first.
#pragma once

#include "base/Clock.h"
#include "base/Env.h"

namespace mr {

// Cancels every job on the shared queues, ends the shared engine's requests, and waits up to `limit` for the jobs to end and
// for the background pool to be idle. False when jobs were still running at
// the limit: the caller must then leave without running static destructors.
bool finishBackgroundWork(const Env& env, Duration limit = seconds(15));

}  // namespace mr
