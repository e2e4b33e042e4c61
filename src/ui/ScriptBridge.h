// The one transport between the screens' logic and their pages. A screen
// controller holds a ScriptBridge for its channel: `evaluate` runs a script
// in its page, and the page's "app:" requests and its load reach the
// controller's ScriptBridgeDelegate on the main thread.
//
// Frames on the wire (JSON text over the WebSocket of UiServer):
//   native -> page  {"channel": C, "script": S}
//   page -> native  {"channel": C, "event": "load"}      the page of C is ready
//                   {"channel": C, "url": "app://name?k=v&..."}  a request
//                   {"channel": C, "url": "https://..."}  a link the listener
//                                                         followed
//                   {"channel": "main", "event": "hello"}  a page connected
// In the page, a script of channel C runs with `app` bound to that channel's
// object (see web/PROTOCOL.md). Query values of "app:" requests are
// percent-encoded by the page and decoded here.
#pragma once

#include <map>
#include <memory>
#include <string>

namespace mr {

using AppParams = std::map<std::string, std::string>;

class ScriptBridgeDelegate {
 public:
  virtual ~ScriptBridgeDelegate() = default;
  // The channel's page (re)loaded: the screen sends its content again.
  virtual void pageDidFinishLoad() {}
  // An "app:" request: handled, never loaded.
  virtual void onAppMessage(const std::string& name, const AppParams& params) = 0;
  // A link of another scheme that the page followed.
  virtual void onLinkNavigation(const std::string& /*url*/) {}
};

class ScriptBridge {
 public:
  virtual ~ScriptBridge() = default;
  // Runs `script` in the channel's page. Dropped while no page is attached;
  // the screen renders again on the page's next load.
  virtual void evaluate(const std::string& script) = 0;
  virtual const std::string& channel() const = 0;
};

// Integer parameter of an "app:" request: missing or not a number reads 0.
int appParamInt(const AppParams& params, const std::string& key);
// Text parameter of an "app:" request: missing reads "".
std::string appParamText(const AppParams& params, const std::string& key);
// Splits "app://name?k=v&k2=v2" (percent-decoding values); false for any
// other scheme.
bool parseAppURL(const std::string& url, std::string& name, AppParams& params);

}  // namespace mr
