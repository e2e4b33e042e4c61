// Multiplexes screen channels over one page connection. Transport-free: the
// server hands it frames and gives it a sender. Main thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ui/ScriptBridge.h"

namespace mr {

class BridgeHub {
 public:
  using Sender = std::function<void(const std::string& frame)>;

  // Opens `channel`; frames for it reach `delegate` until the returned
  // bridge is destroyed. The delegate must outlive the bridge.
  std::unique_ptr<ScriptBridge> open(const std::string& channel, ScriptBridgeDelegate* delegate);
  // A fresh channel name with `prefix` ("playlist" -> "playlist-7").
  std::string newChannelName(const std::string& prefix);

  // The attached page, or none (nullptr): scripts are dropped while none is.
  void setSender(Sender sender);
  bool isAttached() const { return static_cast<bool>(sender_); }
  // Called on "hello" (a page connected), before any channel's load.
  void setConnectHandler(std::function<void()> handler) { onConnect_ = std::move(handler); }
  // One frame from the page; malformed frames and unknown channels are
  // dropped (logged at debug).
  void receive(const std::string& frame);

 private:
  class Channel;
  void send(const std::string& channel, const std::string& script);
  void unregister(const std::string& channel, ScriptBridgeDelegate* delegate);

  Sender sender_;
  std::function<void()> onConnect_;
  std::map<std::string, ScriptBridgeDelegate*> channels_;
  unsigned nextChannel_ = 1;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace mr
