// The screens' transport on the listener's machine: an HTTP server on
// 127.0.0.1 that serves the pages of web/ and carries the bridge's frames
// over one WebSocket (/bridge). It owns no screen logic.
//
// Only the listener's own browser or window gets in. Each run has a secret;
// the first address (firstAddress(), "/?secret=...") trades it for an
// HttpOnly, SameSite=Strict cookie and redirects to /index.html. Every
// other request needs that cookie, a Host of exactly "127.0.0.1:PORT" and,
// when it has one, an Origin of exactly "http://127.0.0.1:PORT"; the
// WebSocket must carry that Origin. Anything else is answered 403.
//
// Runs on GLib's default main context; main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Error.h"
#include "ui/BridgeHub.h"

namespace mr {

class UiServer {
 public:
  // Frames larger than this from the page close its connection.
  static constexpr size_t kMaxFrameSize = 1024 * 1024;

  struct Options {
    // The folder served; see defaultWebDir().
    std::string webDir;
    // 0: a free port chosen at start.
    uint16_t port = 0;
    // The body of /strings.json (see MRUiStrings::json()).
    std::string stringsJson = "{}";
  };

  // Frames from the page go to `hub`, which gets the current connection as
  // its sender; `hub` must outlive the server.
  UiServer(BridgeHub& hub, Options options);
  ~UiServer();
  UiServer(const UiServer&) = delete;
  UiServer& operator=(const UiServer&) = delete;

  // Web addresses whose pages the window may show in a frame (the terms of
  // use of the Mirelune web host); only their origins are used, and
  // addresses that are not http(s) are ignored. Before start().
  void setFrameSources(std::vector<std::string> sources);

  // Listens on 127.0.0.1. Fails when the port is taken or the web folder
  // is missing.
  Status start();

  // Valid after start().
  uint16_t port() const;
  // "http://127.0.0.1:PORT".
  std::string origin() const;
  // The address that lets a browser in: origin + "/?secret=SECRET".
  std::string firstAddress() const;
  // Whether a page is connected to /bridge now.
  bool hasPage() const;

  // $MIRELUNE_WEB_DIR, else the web folder of the source tree.
  static std::string defaultWebDir();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mr
