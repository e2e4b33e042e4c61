#include "ui/MRSingleInstance.h"

#include <gio/gio.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/FileUtil.h"
#include "base/Log.h"

namespace mr {
namespace {

Result<sockaddr_un> unixAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) {
    return Error(kMireluneErrorDomain, 1, "the socket path " + path + " is too long");
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

// A connected socket to `path`, or the errno of the failure.
Result<UniqueFd> connectTo(const std::string& path) {
  auto address = unixAddress(path);
  if (!address.ok()) return address.error();
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return posixError(errno, "socket");
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0) {
    return posixError(errno, "cannot reach " + path);
  }
  return fd;
}

}  // namespace

// The accepting side: a GSocketService on the default main context.
struct MRSingleInstance::Listener {
  GSocketService* service = nullptr;
  GCancellable* cancellable = g_cancellable_new();
  Handler handler;

  // One sender: its bytes so far.
  struct Peer {
    Listener* listener;
    GSocketConnection* connection;
    GCancellable* cancellable;
    char buffer[4096];
    std::string line;

    ~Peer() {
      g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
      g_object_unref(connection);
      g_object_unref(cancellable);
    }
    void readMore() {
      g_input_stream_read_async(g_io_stream_get_input_stream(G_IO_STREAM(connection)), buffer,
                                sizeof buffer, G_PRIORITY_DEFAULT, cancellable, &Peer::didRead,
                                this);
    }
    static void didRead(GObject* stream, GAsyncResult* result, gpointer data) {
      std::unique_ptr<Peer> peer(static_cast<Peer*>(data));
      GError* error = nullptr;
      const gssize count = g_input_stream_read_finish(G_INPUT_STREAM(stream), result, &error);
      if (count <= 0) {
        // Cancelled means the listener is gone: touch nothing of it.
        g_clear_error(&error);
        return;
      }
      peer->line.append(peer->buffer, static_cast<size_t>(count));
      const size_t newline = peer->line.find('\n');
      if (newline == std::string::npos) {
        if (peer->line.size() > kMaxRequestSize) {
          log::warning("single instance: an overlong request was dropped");
          return;
        }
        peer.release()->readMore();
        return;
      }
      if (newline > kMaxRequestSize) return;
      std::string request = peer->line.substr(0, newline);
      if (!request.empty() && request.back() == '\r') request.pop_back();
      if (peer->listener->handler) peer->listener->handler(request);
      static constexpr char kAnswer[] = "ok\n";
      g_output_stream_write_all(g_io_stream_get_output_stream(G_IO_STREAM(peer->connection)),
                                kAnswer, sizeof kAnswer - 1, nullptr, nullptr, nullptr);
    }
  };

  static gboolean incoming(GSocketService*, GSocketConnection* connection, GObject*,
                           gpointer data) {
    auto* self = static_cast<Listener*>(data);
    auto* peer = new Peer{self, G_SOCKET_CONNECTION(g_object_ref(connection)),
                          G_CANCELLABLE(g_object_ref(self->cancellable)), {}, {}};
    peer->readMore();
    return TRUE;
  }

  ~Listener() {
    g_cancellable_cancel(cancellable);
    if (service) {
      g_socket_service_stop(service);
      g_socket_listener_close(G_SOCKET_LISTENER(service));
      g_object_unref(service);
    }
    g_object_unref(cancellable);
  }
};

MRSingleInstance::MRSingleInstance(ProfileLock lock, std::string socketPath)
    : lock_(std::move(lock)), socketPath_(std::move(socketPath)) {}

MRSingleInstance::~MRSingleInstance() {
  listener_.reset();
  ::unlink(socketPath_.c_str());
}

Result<std::unique_ptr<MRSingleInstance>> MRSingleInstance::claim(const std::string& folder,
                                                                  Handler handler) {
  auto lock = ProfileLock::tryAcquire(lockPath(folder));
  if (!lock.ok()) {
    if (lock.error().domain() == kMireluneErrorDomain &&
        lock.error().code() == ProfileLock::kErrorHeldElsewhere) {
      return Error(kMireluneErrorDomain, kErrorRunningElsewhere,
                   "Mirelune is already running for this profile");
    }
    return lock.error();
  }
  const std::string path = socketPath(folder);
  // Holding the lock, any socket there is a leftover.
  const std::string fresh = path + "." + std::to_string(::getpid());
  auto address = unixAddress(fresh);
  if (!address.ok()) return address.error();
  ::unlink(fresh.c_str());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return posixError(errno, "socket");
  // Made under another name, restricted, then moved into place: the socket
  // is never reachable by others, even for a moment.
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0) {
    return posixError(errno, "cannot create " + fresh);
  }
  if (::chmod(fresh.c_str(), 0600) != 0 || ::listen(fd.get(), 8) != 0 ||
      ::rename(fresh.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(fresh.c_str());
    return posixError(err, "cannot set up " + path);
  }

  std::unique_ptr<MRSingleInstance> instance(new MRSingleInstance(std::move(*lock), path));
  auto listener = std::make_unique<Listener>();
  listener->handler = std::move(handler);
  GError* error = nullptr;
  // The GSocket owns its own descriptor of the listening socket.
  const int own = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0);
  GSocket* socket = own < 0 ? nullptr : g_socket_new_from_fd(own, &error);
  if (!socket) {
    if (own >= 0) ::close(own);
    Error failed(kMireluneErrorDomain, 1,
                 "cannot listen on " + path + ": " + (error ? error->message : ""));
    g_clear_error(&error);
    return failed;
  }
  listener->service = g_socket_service_new();
  const bool added =
      g_socket_listener_add_socket(G_SOCKET_LISTENER(listener->service), socket, nullptr, &error);
  g_object_unref(socket);
  if (!added) {
    Error failed(kMireluneErrorDomain, 1,
                 "cannot listen on " + path + ": " + (error ? error->message : ""));
    g_clear_error(&error);
    return failed;
  }
  g_signal_connect(listener->service, "incoming", G_CALLBACK(&Listener::incoming),
                   listener.get());
  g_socket_service_start(listener->service);
  instance->listener_ = std::move(listener);
  return instance;
}

Status MRSingleInstance::sendToRunning(const std::string& folder, const std::string& request) {
  if (request.find('\n') != std::string::npos || request.size() > kMaxRequestSize) {
    return Error(kMireluneErrorDomain, 1, "a request is one line of at most 64 KB");
  }
  const std::string path = socketPath(folder);
  // The first program may hold the lock and not yet listen: a short grace.
  Result<UniqueFd> fd = connectTo(path);
  for (int attempt = 0; !fd.ok() && attempt < 40; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fd = connectTo(path);
  }
  if (!fd.ok()) return fd.error();
  timeval limit{5, 0};
  ::setsockopt(fd->get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd->get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  const std::string line = request + "\n";
  size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = ::send(fd->get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return posixError(errno, "cannot write to " + path);
    sent += static_cast<size_t>(n);
  }
  std::string answer;
  char buffer[64];
  while (answer.find('\n') == std::string::npos && answer.size() < 64) {
    const ssize_t n = ::recv(fd->get(), buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    answer.append(buffer, static_cast<size_t>(n));
  }
  if (answer.rfind("ok\n", 0) != 0) {
    return Error(kMireluneErrorDomain, 1, "the running Mirelune did not answer");
  }
  return Status();
}

}  // namespace mr
