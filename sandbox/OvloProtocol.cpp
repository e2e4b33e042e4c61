#include "sandbox/OvloProtocol.h"

#include <charconv>
#include <utility>

#include "base/NSHTTPQueryDictionary.h"
#include "base/StringAdditions.h"
#include "sandbox/OvloAccounts.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxRouter.h"
#include "sandbox/SandboxStore.h"

namespace mr::sandbox {
namespace {

// A present, non-empty text parameter, or MissingField.
Result<std::string> requiredField(const SandboxRequest& request, std::string_view key) {
  auto value = request.text(key);
  if (!value || value->empty()) {
    return sandboxError(SandboxError::MissingField, "\"" + std::string(key) + "\" is required");
  }
  return *value;
}

// An optional decimal field: 0 when absent or empty, InvalidField when not a number.
Result<int64_t> decimalField(const SandboxRequest& request, std::string_view key) {
  const std::string text = request.text(key).value_or("");
  if (text.empty()) return int64_t{0};
  int64_t value = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
  if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || value < 0) {
    return sandboxError(SandboxError::InvalidField,
                        "\"" + std::string(key) + "\" must be a non-negative whole number");
  }
  return value;
}

// The access-token fields of an external log-in or connection: every
// parameter but the ones the platform itself reads.
struct ExternalIdentity {
  std::string service;
  std::string id;  // stands for the person behind the token
  std::string name;
};

Result<ExternalIdentity> externalIdentity(const SandboxRequest& request) {
  auto service = requiredField(request, "service_name");
  if (!service.ok()) return service.error();
  if (!OvloAccounts::isSupportedService(*service)) {
    return sandboxError(SandboxError::ExternalTokenRefused,
                        "the service \"" + *service + "\" is not supported");
  }
  Dictionary tokenFields;
  bool anyToken = false;
  for (const auto& [key, value] : request.parameters) {
    if (key == "service_name" || key == "consumer_id" || key == "lang") continue;
    tokenFields.set(key, value);
    if (value.isString() && !value.asString()->empty()) anyToken = true;
  }
  if (!anyToken) {
    return sandboxError(SandboxError::ExternalTokenRefused,
                        "the " + *service + " access token is missing");
  }
  const std::string id = MD5DigestString(
      NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(tokenFields).value_or(""));
  std::string name = request.text("screen_name").value_or(request.text("name").value_or(""));
  if (name.empty()) name = *service + " user " + id.substr(0, 6);
  return ExternalIdentity{*service, id, name};
}

std::string connectionListHtml(const Value& connections) {
  if (connections.size() == 0) return "<p>No services are linked.</p>";
  std::string html = "<ul>\n";
  for (const Value& item : *connections.asArray()) {
    html += "<li>" + escapeMarkup(item.stringForKey("service", "")) + ": " +
            escapeMarkup(item.stringForKey("name", "")) + " (cid " +
            std::to_string(item.integerForKey("cid", 0)) + ")</li>\n";
  }
  return html + "</ul>";
}

SandboxResponse badSignaturePage(const Error& error) {
  return SandboxResponse::html(403, "This link is not valid",
                               "<p>" + escapeMarkup(error.description()) + "</p>");
}

}  // namespace

Status OvloProtocol::createSchema(Connection& db) {
  return OvloAccounts::createSchema(db);
}

void OvloProtocol::registerRoutes(SandboxRouter& router) {
  router.post("/auth/login", Signing::None, [this](const SandboxRequest& request) {
    auto user = requiredField(request, "user");
    auto pass = requiredField(request, "pass");
    auto consumer = requiredField(request, "consumer_id");
    for (const auto* field : {&user, &pass, &consumer}) {
      if (!field->ok()) return SandboxResponse::failure(field->error());
    }
    return SandboxResponse::from(store_.transaction([&](Connection& db) -> Result<Value> {
      auto aid = accounts_.authenticate(db, *user, *pass);
      if (!aid.ok()) return aid.error();
      auto tokens = accounts_.issueTokens(db, *aid, *consumer);
      if (!tokens.ok()) return tokens.error();
      return accounts_.accountObject(db, *aid, *tokens);
    }));
  });

  router.post("/auth/signup", Signing::None, [this](const SandboxRequest& request) {
    auto user = requiredField(request, "user");
    auto pass = requiredField(request, "pass");
    auto consumer = requiredField(request, "consumer_id");
    auto sex = requiredField(request, "sex");
    for (const auto* field : {&user, &pass, &consumer, &sex}) {
      if (!field->ok()) return SandboxResponse::failure(field->error());
    }
    // -1: not told, as the sign-up form sends an unchosen sex.
    auto sexCode = request.text("sex").value_or("") == "-1" ? Result<int64_t>(int64_t{-1})
                                                             : decimalField(request, "sex");
    auto birth = decimalField(request, "birth");
    for (const auto* field : {&sexCode, &birth}) {
      if (!field->ok()) return SandboxResponse::failure(field->error());
    }
    OvloSignUp form{*user,  *pass,    request.text("country").value_or(""),
                    *birth, *sexCode, request.text("lang").value_or("")};
    return SandboxResponse::from(store_.transaction([&](Connection& db) -> Result<Value> {
      auto aid = accounts_.signUp(db, form);
      if (!aid.ok()) return aid.error();
      auto tokens = accounts_.issueTokens(db, *aid, *consumer);
      if (!tokens.ok()) return tokens.error();
      return accounts_.accountObject(db, *aid, *tokens);
    }));
  });

  router.post("/auth/proceed", Signing::None, [this](const SandboxRequest& request) {
    auto consumer = requiredField(request, "consumer_id");
    if (!consumer.ok()) return SandboxResponse::failure(consumer.error());
    auto identity = externalIdentity(request);
    if (!identity.ok()) return SandboxResponse::failure(identity.error());
    return SandboxResponse::from(store_.transaction([&](Connection& db) -> Result<Value> {
      auto aid =
          accounts_.accountForExternalIdentity(db, identity->service, identity->id, identity->name);
      if (!aid.ok()) return aid.error();
      auto tokens = accounts_.issueTokens(db, *aid, *consumer);
      if (!tokens.ok()) return tokens.error();
      return accounts_.accountObject(db, *aid, *tokens);
    }));
  });

  router.post("/connect/get", Signing::Required, [this](const SandboxRequest& request) {
    auto connections =
        store_.transaction([&](Connection& db) { return accounts_.connections(db, request.aid); });
    if (!connections.ok()) return SandboxResponse::failure(connections.error());
    return SandboxResponse::json(*connections);
  });

  router.post("/connect/add", Signing::Required, [this](const SandboxRequest& request) {
    auto identity = externalIdentity(request);
    if (!identity.ok()) return SandboxResponse::failure(identity.error());
    return SandboxResponse::from(store_.transaction([&](Connection& db) {
      return accounts_.addConnection(db, request.aid, identity->service, identity->id,
                                     identity->name);
    }));
  });

  router.post("/connect/invalidate", Signing::Required, [this](const SandboxRequest& request) {
    auto cid = decimalField(request, "cid");
    if (!cid.ok() || *cid == 0) return SandboxResponse::text("false");
    auto removed = store_.transaction(
        [&](Connection& db) { return accounts_.invalidateConnection(db, request.aid, *cid); });
    return SandboxResponse::text(removed.ok() && *removed ? "true" : "false");
  });

  router.get("/method/auto_login", Signing::Optional, [this](const SandboxRequest& request) {
    if (request.signatureError) return badSignaturePage(*request.signatureError);
    if (request.aid == 0) {
      return SandboxResponse::html(200, "Sign in to ovlo",
                                   "<p>Sign in from Mirelune to manage your account.</p>");
    }
    auto page = store_.transaction([&](Connection& db) -> Result<std::string> {
      auto name = accounts_.accountName(db, request.aid);
      if (!name.ok()) return name.error();
      auto connections = accounts_.connections(db, request.aid);
      if (!connections.ok()) return connections.error();
      return "<p>Signed in as <b>" + escapeMarkup(*name) + "</b> (account " +
             std::to_string(request.aid) +
             ").</p>\n<p>Page: " + escapeMarkup(request.text("page_id").value_or("")) + "</p>\n" +
             connectionListHtml(*connections);
    });
    if (!page.ok())
      return SandboxResponse::html(500, "ovlo", escapeMarkup(page.error().toString()));
    return SandboxResponse::html(200, "Your ovlo account", *page);
  });

  router.get("/connect/manage", Signing::Optional, [this](const SandboxRequest& request) {
    if (request.signatureError) return badSignaturePage(*request.signatureError);
    if (request.aid == 0) {
      return SandboxResponse::html(401, "Sign in needed", "<p>Open this page from Mirelune.</p>");
    }
    auto connections =
        store_.transaction([&](Connection& db) { return accounts_.connections(db, request.aid); });
    if (!connections.ok()) {
      return SandboxResponse::html(500, "ovlo", escapeMarkup(connections.error().toString()));
    }
    return SandboxResponse::html(200, "Linked services", connectionListHtml(*connections));
  });

  // Stands in for the social service's authorisation: the link is made at
  // once and the browser goes back to the application's page.
  router.get("/connect/oauth_prepare", Signing::Optional, [this](const SandboxRequest& request) {
    if (request.signatureError) return badSignaturePage(*request.signatureError);
    if (request.aid == 0) {
      return SandboxResponse::html(401, "Sign in needed", "<p>Open this page from Mirelune.</p>");
    }
    const std::string bridge = request.text("bridge").value_or("");
    const std::string returnTo = request.text("return_to").value_or("");
    if (!OvloAccounts::isSupportedService(bridge)) {
      return SandboxResponse::html(400, "Unknown service",
                                   "<p>\"" + escapeMarkup(bridge) + "\" cannot be linked.</p>");
    }
    if (!returnTo.starts_with("http://") && !returnTo.starts_with("https://")) {
      return SandboxResponse::html(400, "No return address",
                                   "<p>\"return_to\" must be an http(s) address.</p>");
    }
    auto linked = store_.transaction([&](Connection& db) -> Result<Value> {
      auto name = accounts_.accountName(db, request.aid);
      if (!name.ok()) return name.error();
      const std::string id = MD5DigestString(bridge + ":" + std::to_string(request.aid));
      return accounts_.addConnection(db, request.aid, bridge, id, *name + " on " + bridge);
    });
    if (!linked.ok()) {
      return SandboxResponse::html(409, "Not linked", escapeMarkup(linked.error().description()));
    }
    return SandboxResponse::redirect(returnTo);
  });

  router.get("/app/mac/oauth-complete", Signing::None, [](const SandboxRequest&) {
    return SandboxResponse::html(200, "Service linked", "<p>You can go back to Mirelune now.</p>");
  });
}

}  // namespace mr::sandbox
