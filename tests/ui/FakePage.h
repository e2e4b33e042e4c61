// A page that records what the program runs in it and sends what a
// listener's clicks would: a BridgeHub whose sender keeps the scripts.
#pragma once

#include <string>
#include <vector>

#include "base/Json.h"
#include "ui/BridgeHub.h"

namespace mr::test {

class FakePage {
 public:
  FakePage() {
    hub.setSender([this](const std::string& frame) {
      auto value = parseJson(frame);
      if (!value.ok()) return;
      const Value* channel = value.value().get("channel");
      const Value* script = value.value().get("script");
      if (channel && script && channel->asString() && script->asString()) {
        sent.push_back({*channel->asString(), *script->asString()});
      }
    });
  }

  struct Script {
    std::string channel;
    std::string script;
  };

  // The scripts sent to `channel`, oldest first.
  std::vector<std::string> scripts(const std::string& channel) const {
    std::vector<std::string> out;
    for (const auto& s : sent) {
      if (s.channel == channel) out.push_back(s.script);
    }
    return out;
  }
  // The last script to `channel` that starts with `prefix`; "" when none.
  std::string last(const std::string& channel, const std::string& prefix) const {
    for (auto it = sent.rbegin(); it != sent.rend(); ++it) {
      if (it->channel == channel && it->script.rfind(prefix, 0) == 0) return it->script;
    }
    return {};
  }
  void clear() { sent.clear(); }

  void connect() { hub.receive(R"({"channel":"main","event":"hello"})"); }
  void load(const std::string& channel) {
    hub.receive(toJson(Value(Dictionary{{"channel", Value(channel)}, {"event", Value("load")}})));
  }
  // A navigation the page starts: "app://genreDidSelect?index=2" or a link.
  void navigate(const std::string& channel, const std::string& url) {
    hub.receive(toJson(Value(Dictionary{{"channel", Value(channel)}, {"url", Value(url)}})));
  }

  BridgeHub hub;
  std::vector<Script> sent;
};

}  // namespace mr::test
