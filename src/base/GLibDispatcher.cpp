#include <glib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "base/Dispatcher.h"

namespace mr {

// GLib reuses source ids, so timers are tracked by our own ids and their
// sources kept referenced until they end; cancel() then never hits a stranger.
struct GLibDispatcher::Loop {
  struct Timer {
    GLibDispatcher::Loop* loop;
    TimerId id;
    Task task;
    bool repeats;
    GSource* source = nullptr;
  };

  GMainLoop* mainLoop = g_main_loop_new(g_main_context_default(), FALSE);
  std::atomic<std::thread::id> owner{std::this_thread::get_id()};
  std::mutex mutex;
  std::unordered_map<TimerId, Timer*> timers;
  TimerId nextId = 1;

  static gboolean fire(gpointer data) {
    auto* timer = static_cast<Timer*>(data);
    timer->task();
    return timer->repeats ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
  }

  // Runs when the source is destroyed: after the last firing or a cancel.
  static void finish(gpointer data) {
    auto* timer = static_cast<Timer*>(data);
    {
      std::lock_guard guard(timer->loop->mutex);
      timer->loop->timers.erase(timer->id);
    }
    g_source_unref(timer->source);
    delete timer;
  }

  TimerId attach(GSource* source, Task task, bool repeats) {
    auto* timer = new Timer{this, 0, std::move(task), repeats, source};
    {
      std::lock_guard guard(mutex);
      timer->id = nextId++;
      timers[timer->id] = timer;
    }
    const TimerId id = timer->id;
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, fire, timer, finish);
    g_source_attach(source, g_main_context_default());
    return id;
  }
};

namespace {
guint millisecondsOf(Duration duration) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
  return ms < 0 ? 0 : static_cast<guint>(ms);
}
}  // namespace

GLibDispatcher::GLibDispatcher() : loop_(new Loop) {}

GLibDispatcher::~GLibDispatcher() {
  g_main_loop_unref(loop_->mainLoop);
  delete loop_;
}

void GLibDispatcher::post(Task task) {
  loop_->attach(g_idle_source_new(), std::move(task), false);
}

TimerId GLibDispatcher::postAfter(Duration delay, Task task) {
  return loop_->attach(g_timeout_source_new(millisecondsOf(delay)), std::move(task), false);
}

TimerId GLibDispatcher::repeat(Duration interval, Task task) {
  return loop_->attach(g_timeout_source_new(std::max(1u, millisecondsOf(interval))),
                       std::move(task), true);
}

void GLibDispatcher::cancel(TimerId timer) {
  GSource* source = nullptr;
  {
    std::lock_guard guard(loop_->mutex);
    auto found = loop_->timers.find(timer);
    if (found == loop_->timers.end()) return;
    source = g_source_ref(found->second->source);
  }
  g_source_destroy(source);
  g_source_unref(source);
}

void GLibDispatcher::run() {
  loop_->owner = std::this_thread::get_id();
  g_main_loop_run(loop_->mainLoop);
}

void GLibDispatcher::quit() {
  g_main_loop_quit(loop_->mainLoop);
}

bool GLibDispatcher::isCurrentThread() const {
  return loop_->owner == std::this_thread::get_id();
}

}  // namespace mr
