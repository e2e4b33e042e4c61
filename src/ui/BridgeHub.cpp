#include "ui/BridgeHub.h"

#include <cstdlib>

#include "base/Json.h"
#include "base/Log.h"
#include "base/StringAdditions.h"

namespace mr {

int appParamInt(const AppParams& params, const std::string& key) {
  auto found = params.find(key);
  if (found == params.end()) return 0;
  const char* text = found->second.c_str();
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<int>(value);
}

std::string appParamText(const AppParams& params, const std::string& key) {
  auto found = params.find(key);
  return found == params.end() ? std::string() : found->second;
}

bool parseAppURL(const std::string& url, std::string& name, AppParams& params) {
  static constexpr std::string_view kScheme = "app:";
  if (url.compare(0, kScheme.size(), kScheme) != 0) return false;
  std::string_view rest(url);
  rest.remove_prefix(kScheme.size());
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  const size_t query = rest.find('?');
  std::string_view host = rest.substr(0, query);
  if (const size_t slash = host.find('/'); slash != std::string_view::npos) {
    host = host.substr(0, slash);
  }
  name = std::string(host);
  params.clear();
  if (query == std::string_view::npos) return true;
  std::string_view pieces = rest.substr(query + 1);
  while (!pieces.empty()) {
    const size_t amp = pieces.find('&');
    std::string_view piece = pieces.substr(0, amp);
    pieces = amp == std::string_view::npos ? std::string_view{} : pieces.substr(amp + 1);
    const size_t eq = piece.find('=');
    if (eq == std::string_view::npos) continue;
    auto key = percentDecode(piece.substr(0, eq));
    auto value = percentDecode(piece.substr(eq + 1));
    if (key && value) params[*key] = *value;
  }
  return true;
}

class BridgeHub::Channel final : public ScriptBridge {
 public:
  Channel(BridgeHub& hub, std::string name, ScriptBridgeDelegate* delegate)
      : hub_(hub), alive_(hub.alive_), name_(std::move(name)), delegate_(delegate) {}
  ~Channel() override {
    if (!alive_.expired()) hub_.unregister(name_, delegate_);
  }
  void evaluate(const std::string& script) override {
    if (!alive_.expired()) hub_.send(name_, script);
  }
  const std::string& channel() const override { return name_; }

 private:
  BridgeHub& hub_;
  std::weak_ptr<bool> alive_;
  std::string name_;
  ScriptBridgeDelegate* delegate_;
};

std::unique_ptr<ScriptBridge> BridgeHub::open(const std::string& channel,
                                              ScriptBridgeDelegate* delegate) {
  channels_[channel] = delegate;
  return std::make_unique<Channel>(*this, channel, delegate);
}

std::string BridgeHub::newChannelName(const std::string& prefix) {
  return prefix + "-" + std::to_string(nextChannel_++);
}

void BridgeHub::unregister(const std::string& channel, ScriptBridgeDelegate* delegate) {
  auto found = channels_.find(channel);
  if (found != channels_.end() && found->second == delegate) channels_.erase(found);
}

void BridgeHub::setSender(Sender sender) { sender_ = std::move(sender); }

void BridgeHub::send(const std::string& channel, const std::string& script) {
  if (!sender_) return;
  Dictionary frame;
  frame.set("channel", Value(channel));
  frame.set("script", Value(script));
  sender_(toJson(Value(std::move(frame))));
}

void BridgeHub::receive(const std::string& text) {
  auto frame = parseJson(text);
  if (!frame.ok() || !frame.value().isDictionary()) {
    log::debug("bridge: a frame that is not a JSON object was dropped");
    return;
  }
  const Value& value = frame.value();
  const Value* channelValue = value.get("channel");
  const std::string* channel = channelValue ? channelValue->asString() : nullptr;
  if (!channel) return;
  const Value* event = value.get("event");
  const std::string* eventName = event ? event->asString() : nullptr;
  if (eventName && *eventName == "hello") {
    if (onConnect_) onConnect_();
    return;
  }
  auto found = channels_.find(*channel);
  if (found == channels_.end()) {
    log::debug("bridge: a frame for the unknown channel {} was dropped", *channel);
    return;
  }
  // Copied out: the delegate may close channels while it handles the frame.
  ScriptBridgeDelegate* delegate = found->second;
  if (eventName) {
    if (*eventName == "load") delegate->pageDidFinishLoad();
    return;
  }
  const Value* urlValue = value.get("url");
  const std::string* url = urlValue ? urlValue->asString() : nullptr;
  if (!url) return;
  std::string name;
  AppParams params;
  if (parseAppURL(*url, name, params)) {
    delegate->onAppMessage(name, params);
  } else {
    delegate->onLinkNavigation(*url);
  }
}

}  // namespace mr
