#include "sandbox/SandboxRouter.h"

#include <httplib.h>

#include <thread>
#include <utility>

#include "base/Json.h"
#include "base/Log.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxFaults.h"
#include "sandbox/SandboxSignature.h"

namespace mr::sandbox {
namespace {

SandboxRequest makeRequest(const httplib::Request& http, const std::string& scheme) {
  SandboxRequest request;
  request.method = http.method;
  request.path = http.path;
  for (size_t i = 1; i < http.matches.size(); ++i)
    request.captures.push_back(http.matches[i].str());
  for (const auto& [key, value] : http.params)
    request.parameters.set(key, Value(value));
  for (const auto& [key, part] : http.files) {
    if (part.filename.empty()) {
      request.parameters.set(part.name, Value(part.content));
    } else {
      request.files.push_back({part.name, part.filename, part.content_type, part.content});
    }
  }
  std::string host = http.get_header_value("Host");
  if (host.empty()) host = http.local_addr + ":" + std::to_string(http.local_port);
  request.baseUrl = scheme + "://" + host;
  return request;
}

void writeResponse(const SandboxResponse& response, const httplib::Request& request,
                   httplib::Response& http) {
  // httplib cuts the body to the requested range itself; the status must say so.
  http.status = response.status == 200 && !request.ranges.empty() ? 206 : response.status;
  if (!response.location.empty()) http.set_header("Location", response.location);
  for (const auto& [name, value] : response.headers)
    http.set_header(name, value);
  http.set_content(response.body,
                   response.contentType.empty() ? std::string("text/plain") : response.contentType);
}

}  // namespace

std::optional<std::string> SandboxRequest::text(std::string_view key) const {
  const Value* value = parameters.find(key);
  if (value == nullptr || !value->isString()) return std::nullopt;
  return *value->asString();
}

const SandboxFile* SandboxRequest::file(std::string_view name) const {
  for (const SandboxFile& candidate : files) {
    if (candidate.name == name) return &candidate;
  }
  return nullptr;
}

SandboxResponse SandboxResponse::json(const Value& value) {
  return {200, "application/json; charset=utf-8", toJson(value), {}, {}};
}

SandboxResponse SandboxResponse::success(Value result) {
  return json(SandboxEnvelope::success(std::move(result)));
}

SandboxResponse SandboxResponse::failure(const Error& error) {
  return json(SandboxEnvelope::failure(error));
}

SandboxResponse SandboxResponse::from(Result<Value> result) {
  if (!result.ok()) return failure(result.error());
  return success(std::move(result.value()));
}

SandboxResponse SandboxResponse::text(std::string body) {
  return {200, "text/plain; charset=utf-8", std::move(body), {}, {}};
}

SandboxResponse SandboxResponse::html(int status, const std::string& title,
                                      const std::string& bodyHtml) {
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                     escapeMarkup(title) + "</title></head>\n<body>\n<h1>" + escapeMarkup(title) +
                     "</h1>\n" + bodyHtml + "\n</body></html>\n";
  return {status, "text/html; charset=utf-8", std::move(page), {}, {}};
}

SandboxResponse SandboxResponse::png(std::string bytes) {
  return {200, "image/png", std::move(bytes), {}, {}};
}

SandboxResponse SandboxResponse::media(std::string contentType, std::string bytes) {
  SandboxResponse response{200, std::move(contentType), std::move(bytes), {}, {}};
  response.headers.emplace_back("Accept-Ranges", "bytes");
  return response;
}

SandboxResponse SandboxResponse::withStatus(int status, std::string contentType, std::string body) {
  return {status, std::move(contentType), std::move(body), {}, {}};
}

SandboxResponse SandboxResponse::redirect(std::string location) {
  SandboxResponse response =
      html(302, "Redirecting", "<p><a href=\"" + escapeMarkup(location) + "\">Continue</a></p>");
  response.location = std::move(location);
  return response;
}

std::string escapeMarkup(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

void SandboxRouter::post(std::string pattern, Signing signing, Handler handler) {
  routes_.push_back({"POST", std::move(pattern), signing, std::move(handler)});
}

void SandboxRouter::get(std::string pattern, Signing signing, Handler handler) {
  routes_.push_back({"GET", std::move(pattern), signing, std::move(handler)});
}

void SandboxRouter::install(httplib::Server& server, const std::string& scheme) const {
  for (const Route& route : routes_) {
    // The router (store and accounts) outlives the servers it is installed on.
    auto serve = [this, route, scheme](const httplib::Request& http, httplib::Response& out) {
      SandboxRequest request = makeRequest(http, scheme);
      if (observer_) observer_(request);
      if (faults_ != nullptr) {
        // Sleeps on this request's own thread, holding nothing.
        if (const auto delay = faults_->latencyFor(request.path); delay.count() > 0)
          std::this_thread::sleep_for(delay);
        if (faults_->shouldFail(request.path)) {
          log::debug("sandbox: {} {} failed on purpose", request.method, request.path);
          if (answerObserver_) answerObserver_(request, 503);
          writeResponse(SandboxResponse::withStatus(503, "text/plain; charset=utf-8",
                                                    "Service Unavailable\n"),
                        http, out);
          return;
        }
      }
      if (route.signing != Signing::None &&
          (route.signing == Signing::Required || SandboxSignature::isSigned(request.parameters))) {
        auto aid = SandboxSignature::verify(request.parameters, store_, accounts_);
        if (aid.ok()) {
          request.aid = *aid;
        } else if (route.signing == Signing::Required) {
          log::debug("sandbox: {} {} refused: {}", request.method, request.path,
                     aid.error().toString());
          const SandboxResponse refused = SandboxResponse::failure(aid.error());
          if (answerObserver_) answerObserver_(request, refused.status);
          writeResponse(refused, http, out);
          return;
        } else {
          request.signatureError = aid.error();
        }
      }
      const SandboxResponse response = route.handler(request);
      log::debug("sandbox: {} {} -> {}", request.method, request.path, response.status);
      if (answerObserver_) answerObserver_(request, response.status);
      writeResponse(response, http, out);
    };
    if (route.method == "POST") {
      // httplib refuses a form of more than 8 KB when it reads the body
      // itself; a service takes larger ones (a shared mix of 80 tracks), so
      // the body is read here, within the server's payload limit.
      server.Post(route.pattern, [serve](const httplib::Request& http, httplib::Response& out,
                                         const httplib::ContentReader& reader) {
        httplib::Request read = http;
        if (http.is_multipart_form_data()) {
          auto current = read.files.end();
          reader(
              [&read, &current](const httplib::MultipartFormData& part) {
                current = read.files.emplace(part.name, part);
                return true;
              },
              [&read, &current](const char* data, size_t length) {
                if (current == read.files.end()) return false;
                current->second.content.append(data, length);
                return true;
              });
        } else {
          reader([&read](const char* data, size_t length) {
            read.body.append(data, length);
            return true;
          });
          if (http.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded",
                                                          0) == 0)
            httplib::detail::parse_query_text(read.body, read.params);
        }
        serve(read, out);
      });
    } else {
      server.Get(route.pattern, serve);
    }
  }
}

}  // namespace mr::sandbox
