#include "ui/UiServer.h"

#include <libsoup/soup.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/FileUtil.h"
#include "base/Log.h"
#include "base/Url.h"

#ifndef MIRELUNE_WEB_DIR_DEFAULT
#define MIRELUNE_WEB_DIR_DEFAULT "web"
#endif

namespace mr {
namespace {

constexpr std::string_view kCookieName = "mirelune_token";

std::string randomHex(size_t bytes) {
  std::string raw(bytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), static_cast<int>(bytes)) != 1) {
    // Without randomness the server must not run with a guessable secret.
    log::error("ui server: no random bytes for the secret");
    std::abort();
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes * 2);
  for (unsigned char c : raw) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

bool sameSecret(std::string_view given, const std::string& expected) {
  return given.size() == expected.size() &&
         CRYPTO_memcmp(given.data(), expected.data(), expected.size()) == 0;
}

// The value of cookie `name` in a Cookie header, if any.
std::optional<std::string_view> cookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t semi = header.find(';');
    std::string_view pair = header.substr(0, semi);
    header = semi == std::string_view::npos ? std::string_view{} : header.substr(semi + 1);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    while (!pair.empty() && pair.back() == ' ') pair.remove_suffix(1);
    const size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
  }
  return std::nullopt;
}

const char* contentTypeFor(std::string_view path) {
  static constexpr std::pair<std::string_view, const char*> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".json", "application/json; charset=utf-8"},
      {".map", "application/json; charset=utf-8"},
      {".txt", "text/plain; charset=utf-8"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".webp", "image/webp"},
      {".ico", "image/x-icon"},
      {".woff", "font/woff"},
      {".woff2", "font/woff2"},
      {".ttf", "font/ttf"},
      {".otf", "font/otf"},
      {".mp3", "audio/mpeg"},
      {".m4a", "audio/mp4"},
      {".mp4", "video/mp4"},
      {".webm", "video/webm"},
      {".wasm", "application/wasm"},
  };
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return "application/octet-stream";
  }
  const std::string_view extension = path.substr(dot);
  for (const auto& [known, type] : kTypes) {
    if (extension.size() == known.size() &&
        g_ascii_strncasecmp(extension.data(), known.data(), known.size()) == 0) {
      return type;
    }
  }
  return "application/octet-stream";
}

std::optional<std::string> realPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
  return std::string(resolved);
}

}  // namespace

struct UiServer::Impl {
  BridgeHub& hub;
  Options options;
  std::string webRoot;  // resolved, without a trailing slash
  std::string secret = randomHex(32);
  std::string token = randomHex(32);
  SoupServer* server = nullptr;
  uint16_t port = 0;
  std::string host;    // "127.0.0.1:PORT"
  std::string origin;  // "http://127.0.0.1:PORT"
  std::string policy;  // Content-Security-Policy
  std::vector<std::string> frameSources;
  SoupWebsocketConnection* page = nullptr;

  Impl(BridgeHub& h, Options o) : hub(h), options(std::move(o)) {}

  ~Impl() {
    dropPage(true);
    if (server) {
      soup_server_disconnect(server);
      g_object_unref(server);
    }
  }

  // The connection stops feeding the hub; `close` also ends it.
  static constexpr gushort kReplacedCloseCode = 4001;

  void dropPage(bool close) {
    if (!page) return;
    SoupWebsocketConnection* old = page;
    page = nullptr;
    hub.setSender(nullptr);
    g_signal_handlers_disconnect_by_data(old, this);
    if (close && soup_websocket_connection_get_state(old) == SOUP_WEBSOCKET_STATE_OPEN) {
      // The page knows this code: another window took over, so it does not
      // connect again (and take the connection back).
      soup_websocket_connection_close(old, kReplacedCloseCode, "replaced");
    }
    g_object_unref(old);
  }

  static void setCommonHeaders(SoupServerMessage* msg, const std::string& policy) {
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(msg);
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
    soup_message_headers_replace(headers, "X-Content-Type-Options", "nosniff");
    soup_message_headers_replace(headers, "Referrer-Policy", "same-origin");
    soup_message_headers_replace(headers, "Content-Security-Policy", policy.c_str());
  }

  void refuse(SoupServerMessage* msg, guint status) {
    setCommonHeaders(msg, policy);
    const char* text = status == SOUP_STATUS_NOT_FOUND ? "not found\n" : "forbidden\n";
    soup_server_message_set_status(msg, status, nullptr);
    soup_server_message_set_response(msg, "text/plain; charset=utf-8", SOUP_MEMORY_STATIC, text,
                                     std::char_traits<char>::length(text));
  }

  bool hasToken(SoupServerMessage* msg) const {
    const char* cookies =
        soup_message_headers_get_list(soup_server_message_get_request_headers(msg), "Cookie");
    if (!cookies) return false;
    auto value = cookieValue(cookies, kCookieName);
    return value && sameSecret(*value, token);
  }

  // Host exactly ours, Origin (when sent) exactly ours: a page of another
  // site, or a name that resolves here by rebinding, gets nothing.
  bool fromOurOrigin(SoupServerMessage* msg, bool originRequired) const {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(msg);
    const char* hostHeader = soup_message_headers_get_one(headers, "Host");
    if (!hostHeader || host != hostHeader) return false;
    const char* originHeader = soup_message_headers_get_one(headers, "Origin");
    if (!originHeader) return !originRequired;
    return origin == originHeader;
  }

  // Any request for the WebSocket path: refused unless it is the page's.
  static void bridgeRequest(SoupServer*, SoupServerMessage* msg, const char*, GHashTable*,
                            gpointer data) {
    auto* self = static_cast<Impl*>(data);
    if (!self->fromOurOrigin(msg, true) || !self->hasToken(msg)) {
      self->refuse(msg, SOUP_STATUS_FORBIDDEN);
    }
    // Otherwise libsoup goes on with the upgrade (or refuses a plain GET).
  }

  static void request(SoupServer*, SoupServerMessage* msg, const char*, GHashTable* query,
                      gpointer data) {
    static_cast<Impl*>(data)->handle(msg, query);
  }

  void handle(SoupServerMessage* msg, GHashTable* query) {
    if (!fromOurOrigin(msg, false)) return refuse(msg, SOUP_STATUS_FORBIDDEN);
    const std::string_view method = soup_server_message_get_method(msg);
    if (method != "GET" && method != "HEAD") return refuse(msg, SOUP_STATUS_FORBIDDEN);
    const char* rawPath = g_uri_get_path(soup_server_message_get_uri(msg));
    const std::string_view path = rawPath ? rawPath : "";

    if (path == "/") {
      const char* given = query ? static_cast<const char*>(g_hash_table_lookup(query, "secret"))
                                : nullptr;
      if (given && sameSecret(given, secret)) {
        setCommonHeaders(msg, policy);
        const std::string cookie =
            std::string(kCookieName) + "=" + token + "; Path=/; HttpOnly; SameSite=Strict";
        soup_message_headers_append(soup_server_message_get_response_headers(msg), "Set-Cookie",
                                    cookie.c_str());
        soup_server_message_set_redirect(msg, SOUP_STATUS_SEE_OTHER, "/index.html");
        return;
      }
      if (!given && hasToken(msg)) {
        setCommonHeaders(msg, policy);
        soup_server_message_set_redirect(msg, SOUP_STATUS_SEE_OTHER, "/index.html");
        return;
      }
      return refuse(msg, SOUP_STATUS_FORBIDDEN);
    }
    if (!hasToken(msg)) return refuse(msg, SOUP_STATUS_FORBIDDEN);

    if (path == "/strings.json") {
      setCommonHeaders(msg, policy);
      soup_server_message_set_status(msg, SOUP_STATUS_OK, nullptr);
      soup_server_message_set_response(msg, contentTypeFor(path), SOUP_MEMORY_COPY,
                                       options.stringsJson.data(), options.stringsJson.size());
      return;
    }
    serveFile(msg, path);
  }

  void serveFile(SoupServerMessage* msg, std::string_view encodedPath) {
    // "%2F" and "%00" do not decode (null): no name smuggles a separator.
    char* decoded = g_uri_unescape_string(std::string(encodedPath).c_str(), "/");
    if (!decoded) return refuse(msg, SOUP_STATUS_FORBIDDEN);
    std::string relative(decoded);
    g_free(decoded);
    if (relative.empty() || relative.front() != '/' ||
        relative.find('\\') != std::string::npos) {
      return refuse(msg, SOUP_STATUS_FORBIDDEN);
    }
    for (size_t start = 1; start <= relative.size();) {
      size_t end = relative.find('/', start);
      if (end == std::string::npos) end = relative.size();
      const std::string_view segment(relative.data() + start, end - start);
      if (segment == ".." || segment == ".") return refuse(msg, SOUP_STATUS_FORBIDDEN);
      start = end + 1;
    }
    // Symbolic links may not lead out of the folder.
    const auto resolved = realPath(webRoot + relative);
    if (!resolved) return refuse(msg, SOUP_STATUS_NOT_FOUND);
    if (resolved->compare(0, webRoot.size() + 1, webRoot + "/") != 0) {
      return refuse(msg, SOUP_STATUS_FORBIDDEN);
    }
    if (g_file_test(resolved->c_str(), G_FILE_TEST_IS_DIR)) {
      return refuse(msg, SOUP_STATUS_NOT_FOUND);
    }
    auto contents = readFileToString(*resolved);
    if (!contents.ok()) return refuse(msg, SOUP_STATUS_NOT_FOUND);
    setCommonHeaders(msg, policy);
    soup_server_message_set_status(msg, SOUP_STATUS_OK, nullptr);
    soup_server_message_set_response(msg, contentTypeFor(*resolved), SOUP_MEMORY_COPY,
                                     contents->data(), contents->size());
  }

  static void pageConnected(SoupServer*, SoupServerMessage*, const char*,
                            SoupWebsocketConnection* connection, gpointer data) {
    static_cast<Impl*>(data)->attach(connection);
  }

  void attach(SoupWebsocketConnection* connection) {
    // One page at a time: the newer one is the listener's.
    dropPage(true);
    page = SOUP_WEBSOCKET_CONNECTION(g_object_ref(connection));
    soup_websocket_connection_set_max_incoming_payload_size(page, kMaxFrameSize);
    g_signal_connect(page, "message", G_CALLBACK(&Impl::pageMessage), this);
    g_signal_connect(page, "closed", G_CALLBACK(&Impl::pageClosed), this);
    hub.setSender([this](const std::string& frame) {
      if (page && soup_websocket_connection_get_state(page) == SOUP_WEBSOCKET_STATE_OPEN) {
        soup_websocket_connection_send_text(page, frame.c_str());
      }
    });
  }

  static void pageMessage(SoupWebsocketConnection*, gint type, GBytes* message, gpointer data) {
    if (type != SOUP_WEBSOCKET_DATA_TEXT) return;
    gsize size = 0;
    const auto* bytes = static_cast<const char*>(g_bytes_get_data(message, &size));
    static_cast<Impl*>(data)->hub.receive(std::string(bytes ? bytes : "", size));
  }

  static void pageClosed(SoupWebsocketConnection* connection, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    if (self->page == connection) self->dropPage(false);
  }
};

UiServer::UiServer(BridgeHub& hub, Options options)
    : impl_(std::make_unique<Impl>(hub, std::move(options))) {}

UiServer::~UiServer() = default;

std::string UiServer::defaultWebDir() {
  const char* fromEnvironment = std::getenv("MIRELUNE_WEB_DIR");
  if (fromEnvironment && *fromEnvironment) return fromEnvironment;
  return MIRELUNE_WEB_DIR_DEFAULT;
}

Status UiServer::start() {
  Impl& d = *impl_;
  if (d.server) return Error(kMireluneErrorDomain, 1, "the page server is already running");
  const auto root = realPath(d.options.webDir);
  if (!root || !g_file_test(root->c_str(), G_FILE_TEST_IS_DIR)) {
    return Error(kMireluneErrorDomain, 1,
                 "the pages' folder " + d.options.webDir + " is missing (set MIRELUNE_WEB_DIR)");
  }
  d.webRoot = *root == "/" ? std::string() : *root;

  d.server = soup_server_new("server-header", "Mirelune", nullptr);
  GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  GSocketAddress* address = g_inet_socket_address_new(loopback, d.options.port);
  g_object_unref(loopback);
  GError* error = nullptr;
  const bool listening =
      soup_server_listen(d.server, address, static_cast<SoupServerListenOptions>(0), &error);
  g_object_unref(address);
  if (!listening) {
    Error failed(kMireluneErrorDomain, 1,
                 "the page server cannot listen on 127.0.0.1:" + std::to_string(d.options.port) +
                     ": " + (error ? error->message : "unknown error"));
    g_clear_error(&error);
    g_object_unref(d.server);
    d.server = nullptr;
    return failed;
  }
  GSList* listeners = soup_server_get_listeners(d.server);
  if (listeners) {
    GSocketAddress* local = g_socket_get_local_address(G_SOCKET(listeners->data), nullptr);
    if (local) {
      d.port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(local));
      g_object_unref(local);
    }
  }
  g_slist_free(listeners);
  d.host = "127.0.0.1:" + std::to_string(d.port);
  d.origin = "http://" + d.host;
  std::string frames = "'self'";
  for (const auto& source : d.frameSources) {
    auto url = Url::parse(source);
    if (!url || (url->scheme != "http" && url->scheme != "https") || url->host.empty()) continue;
    const std::string origin = url->origin();
    // An origin goes into the header as it stands: nothing that could end
    // the directive.
    if (origin.find_first_of(" ;,'\"\r\n") != std::string::npos) continue;
    frames += " " + origin;
  }
  d.policy =
      "default-src 'self'; script-src 'self' 'unsafe-eval'; style-src 'self' 'unsafe-inline'; "
      "img-src 'self' http: https: data: blob:; media-src 'self' http: https: data: blob:; "
      "connect-src 'self' ws://" + d.host + "; frame-src " + frames + "; frame-ancestors 'self'; "
      "object-src 'none'; base-uri 'self'; form-action 'self'";

  soup_server_add_handler(d.server, nullptr, &Impl::request, &d, nullptr);
  soup_server_add_handler(d.server, "/bridge", &Impl::bridgeRequest, &d, nullptr);
  soup_server_add_websocket_handler(d.server, "/bridge", d.origin.c_str(), nullptr,
                                    &Impl::pageConnected, &d, nullptr);
  return Status();
}

void UiServer::setFrameSources(std::vector<std::string> sources) {
  impl_->frameSources = std::move(sources);
}

uint16_t UiServer::port() const { return impl_->port; }
std::string UiServer::origin() const { return impl_->origin; }
std::string UiServer::firstAddress() const { return impl_->origin + "/?secret=" + impl_->secret; }
bool UiServer::hasPage() const { return impl_->page != nullptr; }

}  // namespace mr
