#include "ui/UiServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <libsoup/soup.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/TempDir.h"
#include "ui/LoopPump.h"
#include "ui/MRUiStrings.h"

namespace mr {
namespace {

struct Response {
  int status = 0;
  std::string head;
  std::string body;

  // The value of the first header `name` (case-insensitive), or "".
  std::string header(const std::string& name) const {
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
      at += 2;
      const size_t colon = head.find(':', at);
      const size_t end = head.find("\r\n", at);
      if (colon == std::string::npos || colon > end) continue;
      if (g_ascii_strncasecmp(head.c_str() + at, name.c_str(), name.size()) == 0 &&
          colon - at == name.size()) {
        std::string value = head.substr(colon + 1, end - colon - 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        return value;
      }
    }
    return {};
  }
};

struct Recorder : ScriptBridgeDelegate {
  void onAppMessage(const std::string& name, const AppParams& params) override {
    messages.push_back({name, params});
  }
  std::vector<std::pair<std::string, AppParams>> messages;
};

// A page's connection to /bridge through libsoup's client.
struct PageClient {
  // No proxy resolver: loopback only, and libproxy is not built for ThreadSanitizer.
  SoupSession* session = soup_session_new_with_options("proxy-resolver", nullptr, nullptr);
  SoupWebsocketConnection* connection = nullptr;
  guint handshakeStatus = 0;
  bool finished = false;
  bool closed = false;
  std::vector<std::string> received;

  ~PageClient() {
    if (connection) {
      g_signal_handlers_disconnect_by_data(connection, this);
      g_object_unref(connection);
    }
    g_object_unref(session);
  }

  // Connects with `origin` (none: no Origin header) and `cookie` (a Cookie
  // header, none when empty); true when the upgrade was accepted.
  bool connect(uint16_t port, const char* origin, const std::string& cookie) {
    const std::string url = "ws://127.0.0.1:" + std::to_string(port) + "/bridge";
    SoupMessage* message = soup_message_new("GET", url.c_str());
    if (!cookie.empty()) {
      soup_message_headers_append(soup_message_get_request_headers(message), "Cookie",
                                  cookie.c_str());
    }
    soup_session_websocket_connect_async(session, message, origin, nullptr, G_PRIORITY_DEFAULT,
                                         nullptr, &PageClient::connected, this);
    test::pumpUntil([this] { return finished; });
    handshakeStatus = soup_message_get_status(message);
    g_object_unref(message);
    return connection != nullptr;
  }

  static void connected(GObject* source, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<PageClient*>(data);
    GError* error = nullptr;
    self->connection =
        soup_session_websocket_connect_finish(SOUP_SESSION(source), result, &error);
    g_clear_error(&error);
    self->finished = true;
    if (!self->connection) return;
    soup_websocket_connection_set_max_incoming_payload_size(self->connection, 0);
    g_signal_connect(self->connection, "message", G_CALLBACK(&PageClient::message), self);
    g_signal_connect(self->connection, "closed", G_CALLBACK(&PageClient::wasClosed), self);
  }
  static void message(SoupWebsocketConnection*, gint, GBytes* bytes, gpointer data) {
    gsize size = 0;
    const auto* text = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    static_cast<PageClient*>(data)->received.emplace_back(text, size);
  }
  static void wasClosed(SoupWebsocketConnection*, gpointer data) {
    static_cast<PageClient*>(data)->closed = true;
  }
  void send(const std::string& text) { soup_websocket_connection_send_text(connection, text.c_str()); }
};

class UiServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    web = dir.file("web");
    ASSERT_EQ(g_mkdir_with_parents((web + "/page").c_str(), 0700), 0);
    test::writeFile(web + "/index.html", "<!doctype html><title>index</title>");
    test::writeFile(web + "/page/app.js", "app.ready = true;");
    test::writeFile(dir.file("secret.txt"), "PRIVATE");
    ASSERT_EQ(::symlink(dir.file("secret.txt").c_str(), (web + "/escape.txt").c_str()), 0);
    ASSERT_EQ(::symlink((web + "/index.html").c_str(), (web + "/alias.html").c_str()), 0);
    server = std::make_unique<UiServer>(hub, UiServer::Options{web, 0, R"({"hello":"Hello"})"});
    Status started = server->start();
    ASSERT_TRUE(started.ok()) << started.error().toString();
    host = "127.0.0.1:" + std::to_string(server->port());
  }

  // Sends `request` as it stands from another thread while the server runs
  // here; the whole answer.
  Response exchange(const std::string& request) {
    std::atomic<bool> finished = false;
    std::string answer;
    const uint16_t port = server->port();
    std::thread client([&] {
      int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      timeval limit{20, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(port);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
          ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
              static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, n);
      }
      ::close(fd);
      finished = true;
      g_main_context_wakeup(nullptr);
    });
    EXPECT_TRUE(test::pumpUntil([&] { return finished.load(); }));
    client.join();
    Response response;
    const size_t split = answer.find("\r\n\r\n");
    response.head = answer.substr(0, split);
    if (split != std::string::npos) response.body = answer.substr(split + 4);
    if (answer.rfind("HTTP/1.1 ", 0) == 0) response.status = std::atoi(answer.c_str() + 9);
    return response;
  }

  Response get(const std::string& target, const std::string& extraHeaders = {},
               const std::optional<std::string>& hostHeader = std::nullopt) {
    return exchange("GET " + target + " HTTP/1.1\r\nHost: " + hostHeader.value_or(host) +
                    "\r\nConnection: close\r\n" + extraHeaders + "\r\n");
  }

  std::string secretQuery() const {
    const std::string address = server->firstAddress();
    return address.substr(address.find("/?secret="));
  }

  // Enters through the first address; the Cookie header it earns.
  std::string logIn() {
    Response first = get(secretQuery());
    const std::string setCookie = first.header("Set-Cookie");
    return "Cookie: " + setCookie.substr(0, setCookie.find(';')) + "\r\n";
  }
  std::string cookieValue() {
    const std::string header = logIn();
    return header.substr(8, header.size() - 10);
  }

  test::TempDir dir;
  std::string web;
  BridgeHub hub;
  std::unique_ptr<UiServer> server;
  std::string host;
};

TEST_F(UiServerTest, TheFirstAddressTradesTheSecretForACookie) {
  EXPECT_EQ(server->firstAddress().rfind("http://" + host + "/?secret=", 0), 0u);
  Response first = get(secretQuery());
  EXPECT_EQ(first.status, 303);
  EXPECT_EQ(first.header("Location"), "http://" + host + "/index.html");
  const std::string cookie = first.header("Set-Cookie");
  EXPECT_NE(cookie.find("HttpOnly"), std::string::npos) << cookie;
  EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos) << cookie;

  const std::string withCookie = "Cookie: " + cookie.substr(0, cookie.find(';')) + "\r\n";
  Response index = get("/index.html", withCookie);
  EXPECT_EQ(index.status, 200);
  EXPECT_EQ(index.body, "<!doctype html><title>index</title>");
  EXPECT_EQ(index.header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(index.header("Cache-Control"), "no-store");
  const std::string policy = index.header("Content-Security-Policy");
  EXPECT_NE(policy.find("script-src 'self' 'unsafe-eval'"), std::string::npos) << policy;
  EXPECT_NE(policy.find("frame-src 'self'"), std::string::npos) << policy;
  EXPECT_NE(policy.find("img-src 'self' http: https: data:"), std::string::npos) << policy;

  Response script = get("/page/app.js", withCookie + "Origin: http://" + host + "\r\n");
  EXPECT_EQ(script.status, 200);
  EXPECT_EQ(script.header("Content-Type"), "text/javascript; charset=utf-8");
  Response strings = get("/strings.json", withCookie);
  EXPECT_EQ(strings.status, 200);
  EXPECT_EQ(strings.body, R"({"hello":"Hello"})");
  EXPECT_EQ(get("/", withCookie).status, 303);
}

TEST_F(UiServerTest, StrangersAreRefused) {
  EXPECT_EQ(get("/index.html").status, 403);
  EXPECT_EQ(get("/strings.json").status, 403);
  EXPECT_EQ(get("/").status, 403);
  EXPECT_EQ(get("/?secret=0123").status, 403);
  EXPECT_TRUE(get("/?secret=0123").header("Set-Cookie").empty());
  EXPECT_EQ(get("/index.html", "Cookie: mirelune_token=forged\r\n").status, 403);

  const std::string cookie = logIn();
  EXPECT_EQ(get("/index.html", cookie).status, 200);
  // A name that resolves here (rebinding) or another port.
  EXPECT_EQ(get("/index.html", cookie, "localhost:" + std::to_string(server->port())).status, 403);
  EXPECT_EQ(get("/index.html", cookie, "evil.example").status, 403);
  EXPECT_EQ(get(secretQuery(), "", "evil.example").status, 403);
  // Another site's page.
  EXPECT_EQ(get("/index.html", cookie + "Origin: http://evil.example\r\n").status, 403);
  EXPECT_EQ(get("/index.html", cookie + "Origin: http://localhost:" +
                                   std::to_string(server->port()) + "\r\n").status, 403);
  EXPECT_EQ(get(secretQuery(), "Origin: null\r\n").status, 403);
  EXPECT_EQ(exchange("POST /index.html HTTP/1.1\r\nHost: " + host + "\r\n" + cookie +
                     "Content-Length: 0\r\nConnection: close\r\n\r\n").status, 403);
}

TEST_F(UiServerTest, NothingOutsideTheWebFolderIsServed) {
  const std::string cookie = logIn();
  for (const char* target : {"/../secret.txt", "/page/../../secret.txt", "/%2e%2e/secret.txt",
                             "/page/%2e%2e/%2e%2e/secret.txt", "/..%2fsecret.txt",
                             "/escape.txt", "/page%00.js"}) {
    Response response = get(target, cookie);
    EXPECT_TRUE(response.status == 403 || response.status == 404 || response.status == 400)
        << target << " " << response.status;
    EXPECT_EQ(response.body.find("PRIVATE"), std::string::npos) << target;
  }
  EXPECT_EQ(get("/escape.txt", cookie).status, 403);
  EXPECT_EQ(get("/missing.html", cookie).status, 404);
  EXPECT_EQ(get("/page", cookie).status, 404);
  // A link that stays inside is fine.
  EXPECT_EQ(get("/alias.html", cookie).status, 200);
}

TEST_F(UiServerTest, TheBridgeTakesOnlyThePageWithCookieAndOrigin) {
  const std::string origin = "http://" + host;
  const std::string cookie = cookieValue();
  {
    PageClient noCookie;
    EXPECT_FALSE(noCookie.connect(server->port(), origin.c_str(), ""));
    EXPECT_EQ(noCookie.handshakeStatus, 403u);
  }
  {
    PageClient foreign;
    EXPECT_FALSE(foreign.connect(server->port(), "http://evil.example", cookie));
    EXPECT_EQ(foreign.handshakeStatus, 403u);
  }
  {
    PageClient noOrigin;
    EXPECT_FALSE(noOrigin.connect(server->port(), nullptr, cookie));
  }
  EXPECT_FALSE(hub.isAttached());
  EXPECT_FALSE(server->hasPage());
}

TEST_F(UiServerTest, FramesGoBothWaysAndANewPageReplacesTheOld) {
  Recorder screen;
  auto bridge = hub.open("screen-1", &screen);
  const std::string origin = "http://" + host;
  const std::string cookie = cookieValue();

  PageClient first;
  ASSERT_TRUE(first.connect(server->port(), origin.c_str(), cookie));
  ASSERT_TRUE(test::pumpUntil([&] { return hub.isAttached(); }));
  first.send(R"({"channel":"screen-1","url":"app://rowDidSelect?index=3"})");
  ASSERT_TRUE(test::pumpUntil([&] { return !screen.messages.empty(); }));
  EXPECT_EQ(screen.messages[0].first, "rowDidSelect");
  EXPECT_EQ(appParamInt(screen.messages[0].second, "index"), 3);

  bridge->evaluate("app.setPlaying(3, 'playing')");
  ASSERT_TRUE(test::pumpUntil([&] { return !first.received.empty(); }));
  EXPECT_EQ(first.received[0],
            R"j({"channel":"screen-1","script":"app.setPlaying(3, 'playing')"})j");

  PageClient second;
  ASSERT_TRUE(second.connect(server->port(), origin.c_str(), cookie));
  ASSERT_TRUE(test::pumpUntil([&] { return first.closed; }));
  // The code the page reads as "another window took over": it stays away.
  EXPECT_EQ(soup_websocket_connection_get_close_code(first.connection), 4001);
  bridge->evaluate("app.scrollToRow(1)");
  ASSERT_TRUE(test::pumpUntil([&] { return !second.received.empty(); }));
  EXPECT_EQ(first.received.size(), 1u);
  EXPECT_NE(second.received[0].find("scrollToRow"), std::string::npos);

  // Large frames pass up to the limit...
  second.send(R"({"channel":"screen-1","url":"app://big?pad=)" + std::string(900 * 1024, 'a') +
              "\"}");
  ASSERT_TRUE(test::pumpUntil([&] { return screen.messages.size() == 2; }));
  EXPECT_EQ(screen.messages[1].second.at("pad").size(), 900u * 1024);
  // ...and one beyond it ends the connection unread.
  second.send(R"({"channel":"screen-1","url":"app://x?pad=)" +
              std::string(UiServer::kMaxFrameSize, 'a') + "\"}");
  ASSERT_TRUE(test::pumpUntil([&] { return second.closed; }));
  // The server says "too big" unless the socket went down before the client read it.
  const gushort code = soup_websocket_connection_get_close_code(second.connection);
  EXPECT_TRUE(code == SOUP_WEBSOCKET_CLOSE_TOO_BIG || code == 0) << code;
  EXPECT_EQ(screen.messages.size(), 2u);
  ASSERT_TRUE(test::pumpUntil([&] { return !hub.isAttached(); }));
  EXPECT_FALSE(server->hasPage());
}

// Whether a TCP connection to `address` (IPv4 or IPv6) at `port` is taken.
bool reachable(const sockaddr* address, socklen_t length, uint16_t port) {
  sockaddr_storage target{};
  std::memcpy(&target, address, length);
  if (target.ss_family == AF_INET) {
    reinterpret_cast<sockaddr_in*>(&target)->sin_port = htons(port);
  } else {
    reinterpret_cast<sockaddr_in6*>(&target)->sin6_port = htons(port);
  }
  int fd = ::socket(target.ss_family, SOCK_STREAM, 0);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&target), length) == 0;
  ::close(fd);
  return connected;
}

TEST_F(UiServerTest, OnlyTheLoopbackAddressListens) {
  const uint16_t port = server->port();
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  ASSERT_EQ(::inet_pton(AF_INET, "127.0.0.1", &v4.sin_addr), 1);
  EXPECT_TRUE(reachable(reinterpret_cast<sockaddr*>(&v4), sizeof v4, port));
  ASSERT_EQ(::inet_pton(AF_INET, "127.0.0.2", &v4.sin_addr), 1);
  EXPECT_FALSE(reachable(reinterpret_cast<sockaddr*>(&v4), sizeof v4, port));
  sockaddr_in6 v6{};
  v6.sin6_family = AF_INET6;
  v6.sin6_addr = in6addr_loopback;
  EXPECT_FALSE(reachable(reinterpret_cast<sockaddr*>(&v6), sizeof v6, port));

  ifaddrs* interfaces = nullptr;
  ASSERT_EQ(::getifaddrs(&interfaces), 0);
  int checked = 0;
  for (ifaddrs* it = interfaces; it; it = it->ifa_next) {
    if (!it->ifa_addr) continue;
    const int family = it->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    char name[INET6_ADDRSTRLEN] = {};
    const void* raw = family == AF_INET
                          ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr)
                          : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(it->ifa_addr)->sin6_addr);
    ::inet_ntop(family, raw, name, sizeof name);
    if (std::string(name) == "127.0.0.1") continue;
    const socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    EXPECT_FALSE(reachable(it->ifa_addr, length, port)) << it->ifa_name << " " << name;
    ++checked;
  }
  ::freeifaddrs(interfaces);
  EXPECT_GT(checked, 0);
}

TEST(UiStringsTest, TheListenersLanguageOverEnglish) {
  test::TempDir dir;
  ASSERT_EQ(g_mkdir_with_parents(dir.file("en").c_str(), 0700), 0);
  ASSERT_EQ(g_mkdir_with_parents(dir.file("ja").c_str(), 0700), 0);
  test::writeFile(dir.file("en/main.json"), R"({"play": "Play", "stop": "Stop", "count": 3})");
  test::writeFile(dir.file("en/shell.json"), R"({"quit": "Quit"})");
  test::writeFile(dir.file("en/broken.json"), R"({"quit": )");
  test::writeFile(dir.file("ja/main.json"), R"({"play": "再生"})");

  EXPECT_EQ(MRUiStrings::languageFor({"ja", "en"}), "ja");
  EXPECT_EQ(MRUiStrings::languageFor({"fr", "ja"}), "en");
  EXPECT_EQ(MRUiStrings::languageFor({}), "en");

  const MRUiStrings japanese = MRUiStrings::load(dir.path(), "ja");
  const auto texts = japanese.texts();
  EXPECT_EQ(texts.at("play"), "再生");
  EXPECT_EQ(texts.at("stop"), "Stop");
  EXPECT_EQ(texts.at("quit"), "Quit");
  EXPECT_FALSE(texts.count("count"));
  EXPECT_NE(japanese.json().find("\"count\":3"), std::string::npos) << japanese.json();

  const MRUiStrings english = MRUiStrings::load(dir.path(), "en");
  EXPECT_EQ(english.texts().at("play"), "Play");
  EXPECT_EQ(MRUiStrings::load(dir.file("missing"), "ja").json(), "{}");
}

}  // namespace
}  // namespace mr
