// The routes the sandbox answers, shared by every protocol half. A half
// registers handlers by method and path; the router turns each HTTP request
// into a SandboxRequest (parameters from the query, a form-urlencoded body or
// the form fields of a multipart body; parts with a file name are files,
// not parameters), checks its signature as the route asks, and writes the
// handler's SandboxResponse back. The same routes are installed on the
// plain and the TLS server.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Error.h"
#include "base/Value.h"

namespace httplib {
class Server;
}

namespace mr::sandbox {

class OvloAccounts;
class SandboxFaults;
class SandboxStore;

struct SandboxFile {
  std::string name;  // the form field
  std::string fileName;
  std::string contentType;
  std::string content;
};

struct SandboxRequest {
  std::string method;
  std::string path;
  std::vector<std::string> captures;  // the groups of the route's pattern
  Dictionary parameters;              // strings, the five signature parameters taken out
  std::vector<SandboxFile> files;
  int64_t aid = 0;  // the account of a request whose signature holds, else 0
  // Why the signature failed, for routes that take unsigned requests too.
  std::optional<Error> signatureError;
  std::string baseUrl;  // "http://127.0.0.1:40123" as the client reached us

  std::optional<std::string> text(std::string_view key) const;
  const SandboxFile* file(std::string_view name) const;
};

struct SandboxResponse {
  int status = 200;
  std::string contentType;
  std::string body;
  std::string location;                                      // for redirects
  std::vector<std::pair<std::string, std::string>> headers;  // any others

  static SandboxResponse json(const Value& value);
  // The envelope with the result, or with the error's code and message.
  static SandboxResponse success(Value result);
  static SandboxResponse failure(const Error& error);
  static SandboxResponse from(Result<Value> result);
  static SandboxResponse text(std::string body);
  // A small page; `bodyHtml` is inserted as it is, the title is escaped.
  static SandboxResponse html(int status, const std::string& title, const std::string& bodyHtml);
  static SandboxResponse png(std::string bytes);
  static SandboxResponse redirect(std::string location);
  // A media file players may fetch in ranges. A request with a "Range"
  // header gets 206 and the bytes asked for (416 when they lie beyond the
  // end); the same holds for every answer of 200.
  static SandboxResponse media(std::string contentType, std::string bytes);
  static SandboxResponse withStatus(int status, std::string contentType, std::string body);
};

// Escapes text for HTML pages and XML documents.
std::string escapeMarkup(std::string_view text);

enum class Signing {
  None,      // parameters are used as they come
  Required,  // a request whose signature fails gets the failure envelope
  Optional,  // checked when present; the handler sees signatureError
};

class SandboxRouter {
 public:
  using Handler = std::function<SandboxResponse(const SandboxRequest&)>;

  SandboxRouter(SandboxStore& store, const OvloAccounts& accounts)
      : store_(store), accounts_(accounts) {}

  // `pattern` is a regular expression matched against the whole path.
  void post(std::string pattern, Signing signing, Handler handler);
  void get(std::string pattern, Signing signing, Handler handler);

  // Delays or fails requests as the faults say, before their handler runs;
  // null for none. The faults outlive the servers the routes go on.
  void setFaults(SandboxFaults* faults) { faults_ = faults; }
  // Called with every request that reaches a route, before faults apply.
  void setObserver(std::function<void(const SandboxRequest&)> observer) {
    observer_ = std::move(observer);
  }

  // Called with every request and the status it was answered with (faults
  // included), on the request's thread.
  void setAnswerObserver(std::function<void(const SandboxRequest&, int status)> observer) {
    answerObserver_ = std::move(observer);
  }

  // Installs every route; `scheme` is "http" or "https".
  void install(httplib::Server& server, const std::string& scheme) const;

 private:
  struct Route {
    std::string method;
    std::string pattern;
    Signing signing;
    Handler handler;
  };

  SandboxStore& store_;
  const OvloAccounts& accounts_;
  std::vector<Route> routes_;
  SandboxFaults* faults_ = nullptr;
  std::function<void(const SandboxRequest&)> observer_;
  std::function<void(const SandboxRequest&, int status)> answerObserver_;
};

}  // namespace mr::sandbox
