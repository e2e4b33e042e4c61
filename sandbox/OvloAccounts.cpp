#include "sandbox/OvloAccounts.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cctype>

#include "base/StringAdditions.h"
#include "sandbox/SandboxEnvelope.h"

namespace mr::sandbox {
namespace {

// Enough rounds that the stored hash is not a plain digest, few enough that
// a sanitizer build signs up in milliseconds.
constexpr int kHashRounds = 4096;

// Tokens and salts must not be predictable: the system's generator or nothing.
Result<std::string> randomHex(size_t bytes) {
  Bytes data(bytes);
  if (RAND_bytes(data.data(), static_cast<int>(data.size())) != 1) {
    return sandboxError(SandboxError::InternalFailure, "the random source failed");
  }
  return hexStringFromData(data);
}

std::string passwordHash(const std::string& pass, const std::string& salt) {
  Bytes hash(32);
  PKCS5_PBKDF2_HMAC(pass.data(), static_cast<int>(pass.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()),
                    static_cast<int>(salt.size()), kHashRounds, EVP_sha256(),
                    static_cast<int>(hash.size()), hash.data());
  return hexStringFromData(hash);
}

bool sameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string lowerAscii(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

Value connectionDictionary(const SqlRow& row) {
  Value item = Value::dictionary();
  item.set("service", Value(textOf(row[0]).value_or("")));
  item.set("name", Value(textOf(row[1]).value_or("")));
  item.set("aid", Value(integerOf(row[2]).value_or(0)));
  item.set("cid", Value(integerOf(row[3]).value_or(0)));
  return item;
}

constexpr const char* kConnectionColumns = "service, name, aid, cid";

}  // namespace

Status OvloAccounts::createSchema(Connection& db) {
  return db.exec(
      "CREATE TABLE IF NOT EXISTS ovlo_accounts ("
      "  aid INTEGER PRIMARY KEY,"
      "  name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
      "  salt TEXT, password_hash TEXT,"  // NULL for accounts made through a service
      "  country TEXT, birth INTEGER NOT NULL DEFAULT 0, sex INTEGER NOT NULL DEFAULT 0,"
      "  lang TEXT, created_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS ovlo_tokens ("
      "  public_token TEXT PRIMARY KEY, private_token TEXT NOT NULL,"
      "  aid INTEGER NOT NULL REFERENCES ovlo_accounts(aid),"
      "  consumer_id TEXT NOT NULL, issued_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS ovlo_nonces ("
      "  aid INTEGER NOT NULL, nonce INTEGER NOT NULL, seen_at INTEGER NOT NULL,"
      "  PRIMARY KEY (aid, nonce));"
      "CREATE TABLE IF NOT EXISTS ovlo_connections ("
      "  cid INTEGER PRIMARY KEY, aid INTEGER NOT NULL REFERENCES ovlo_accounts(aid),"
      "  service TEXT NOT NULL, name TEXT NOT NULL, external_id TEXT NOT NULL,"
      "  created_at INTEGER NOT NULL, UNIQUE (service, external_id));");
}

int64_t OvloAccounts::now() const {
  return static_cast<int64_t>(clock_.currentDate().secondsSince1970);
}

bool OvloAccounts::isSupportedService(const std::string& service) {
  return service == "facebook" || service == "twitter";
}

Result<int64_t> OvloAccounts::signUp(Connection& db, const OvloSignUp& form) const {
  if (!form.country.empty() &&
      (form.country.size() != 2 || !std::isalpha(static_cast<unsigned char>(form.country[0])) ||
       !std::isalpha(static_cast<unsigned char>(form.country[1])))) {
    return sandboxError(SandboxError::InvalidField, "country must be a two-letter code");
  }
  auto taken = accountIdForName(db, form.user);
  if (!taken.ok()) return taken.error();
  if (taken->has_value()) {
    return sandboxError(SandboxError::UserNameTaken,
                        "the user name \"" + form.user + "\" is taken");
  }
  auto salt = randomHex(16);
  if (!salt.ok()) return salt.error();
  const SqlValue country = form.country.empty() ? SqlValue() : SqlValue(lowerAscii(form.country));
  if (Status inserted =
          db.run("INSERT INTO ovlo_accounts (name, salt, password_hash, country, birth, sex, lang, "
                 "created_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                 {form.user, *salt, passwordHash(form.pass, *salt), country, form.birth, form.sex,
                  form.lang, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  return db.lastInsertRowid();
}

Result<int64_t> OvloAccounts::authenticate(Connection& db, const std::string& user,
                                           const std::string& pass) const {
  auto rows = db.query("SELECT aid, salt, password_hash FROM ovlo_accounts WHERE name = ?", {user});
  if (!rows.ok()) return rows.error();
  if (rows->empty()) {
    return sandboxError(SandboxError::UnknownUser, "no account is named \"" + user + "\"");
  }
  const SqlRow& row = rows->front();
  const auto salt = textOf(row[1]);
  const auto hash = textOf(row[2]);
  if (!salt || !hash || !sameText(passwordHash(pass, *salt), *hash)) {
    return sandboxError(SandboxError::WrongPassword, "the password does not match");
  }
  return integerOf(row[0]).value_or(0);
}

Result<OvloTokens> OvloAccounts::issueTokens(Connection& db, int64_t aid,
                                             const std::string& consumerId) const {
  auto publicToken = randomHex(16);
  auto privateToken = randomHex(20);
  if (!publicToken.ok()) return publicToken.error();
  if (!privateToken.ok()) return privateToken.error();
  OvloTokens tokens{*publicToken, *privateToken, consumerId};
  if (Status inserted = db.run(
          "INSERT INTO ovlo_tokens (public_token, private_token, aid, consumer_id, issued_at) "
          "VALUES (?, ?, ?, ?, ?)",
          {tokens.publicToken, tokens.privateToken, aid, consumerId, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  return tokens;
}

Result<Value> OvloAccounts::accountObject(Connection& db, int64_t aid,
                                          const OvloTokens& tokens) const {
  auto rows = db.query("SELECT name, country, birth, sex FROM ovlo_accounts WHERE aid = ?", {aid});
  if (!rows.ok()) return rows.error();
  if (rows->empty()) return sandboxError(SandboxError::NotFound, "no such account");
  const SqlRow& row = rows->front();
  Value token = Value::dictionary();
  token.set("private", Value(tokens.privateToken));
  token.set("public", Value(tokens.publicToken));
  token.set("consumer_id", Value(tokens.consumerId));
  Value profile = Value::dictionary();
  if (auto country = textOf(row[1])) profile.set("country", Value(*country));
  profile.set("birth", Value(integerOf(row[2]).value_or(0)));
  profile.set("sex", Value(integerOf(row[3]).value_or(0)));
  Value account = Value::dictionary();
  account.set("aid", Value(aid));
  account.set("aname", Value(textOf(row[0]).value_or("")));
  account.set("token", std::move(token));
  account.set("profile", std::move(profile));
  return account;
}

Result<std::string> OvloAccounts::privateToken(Connection& db, int64_t aid,
                                               const std::string& publicToken) const {
  auto known = db.scalar("SELECT COUNT(*) FROM ovlo_accounts WHERE aid = ?", {aid});
  if (!known.ok()) return known.error();
  if (integerOf(*known).value_or(0) == 0) {
    return sandboxError(SandboxError::UnknownAccount,
                        "no account has the ID " + std::to_string(aid));
  }
  auto token = db.scalar("SELECT private_token FROM ovlo_tokens WHERE aid = ? AND public_token = ?",
                         {aid, publicToken});
  if (!token.ok()) return token.error();
  if (auto text = textOf(*token)) return *text;
  return sandboxError(SandboxError::TokenNotIssued,
                      "the public token was not issued to account " + std::to_string(aid));
}

Status OvloAccounts::recordNonce(Connection& db, int64_t aid, int64_t nonce) const {
  if (Status inserted =
          db.run("INSERT OR IGNORE INTO ovlo_nonces (aid, nonce, seen_at) VALUES (?, ?, ?)",
                 {aid, nonce, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  if (db.changes() == 0) {
    return sandboxError(SandboxError::NonceReplayed,
                        "the nonce " + std::to_string(nonce) + " was used before");
  }
  return {};
}

Result<std::string> OvloAccounts::accountName(Connection& db, int64_t aid) const {
  auto name = db.scalar("SELECT name FROM ovlo_accounts WHERE aid = ?", {aid});
  if (!name.ok()) return name.error();
  if (auto text = textOf(*name)) return *text;
  return sandboxError(SandboxError::NotFound, "no account has the ID " + std::to_string(aid));
}

Result<std::optional<int64_t>> OvloAccounts::accountIdForName(Connection& db,
                                                              const std::string& user) const {
  auto aid = db.scalar("SELECT aid FROM ovlo_accounts WHERE name = ?", {user});
  if (!aid.ok()) return aid.error();
  return integerOf(*aid);
}

Result<int64_t> OvloAccounts::accountForExternalIdentity(Connection& db, const std::string& service,
                                                         const std::string& externalId,
                                                         const std::string& name) const {
  auto linked = db.scalar("SELECT aid FROM ovlo_connections WHERE service = ? AND external_id = ?",
                          {service, externalId});
  if (!linked.ok()) return linked.error();
  if (auto aid = integerOf(*linked)) return *aid;

  // A new account, named after the service and the identity.
  std::string accountName = service + "_" + externalId.substr(0, 8);
  for (int suffix = 2;; ++suffix) {
    auto taken = accountIdForName(db, accountName);
    if (!taken.ok()) return taken.error();
    if (!taken->has_value()) break;
    accountName = service + "_" + externalId.substr(0, 8) + "_" + std::to_string(suffix);
  }
  if (Status inserted = db.run("INSERT INTO ovlo_accounts (name, created_at) VALUES (?, ?)",
                               {accountName, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  const int64_t aid = db.lastInsertRowid();
  auto connection = addConnection(db, aid, service, externalId, name);
  if (!connection.ok()) return connection.error();
  return aid;
}

Result<Value> OvloAccounts::connections(Connection& db, int64_t aid) const {
  auto rows = db.query(std::string("SELECT ") + kConnectionColumns +
                           " FROM ovlo_connections WHERE aid = ? ORDER BY cid",
                       {aid});
  if (!rows.ok()) return rows.error();
  Value items = Value::array();
  for (const SqlRow& row : *rows)
    items.append(connectionDictionary(row));
  return items;
}

Result<Value> OvloAccounts::addConnection(Connection& db, int64_t aid, const std::string& service,
                                          const std::string& externalId,
                                          const std::string& name) const {
  auto owner = db.scalar("SELECT aid FROM ovlo_connections WHERE service = ? AND external_id = ?",
                         {service, externalId});
  if (!owner.ok()) return owner.error();
  if (auto current = integerOf(*owner); current && *current != aid) {
    return sandboxError(SandboxError::ExternalIdentityTaken,
                        "that " + service + " identity is linked to another account");
  }
  // Linking again refreshes the name and keeps the cid.
  if (Status upserted =
          db.run("INSERT INTO ovlo_connections (aid, service, name, external_id, created_at) "
                 "VALUES (?, ?, ?, ?, ?) ON CONFLICT (service, external_id) DO UPDATE SET name = "
                 "excluded.name",
                 {aid, service, name, externalId, now()});
      !upserted.ok()) {
    return upserted.error();
  }
  auto rows = db.query(std::string("SELECT ") + kConnectionColumns +
                           " FROM ovlo_connections WHERE service = ? AND external_id = ?",
                       {service, externalId});
  if (!rows.ok()) return rows.error();
  if (rows->empty()) return sandboxError(SandboxError::InternalFailure, "the connection vanished");
  return connectionDictionary(rows->front());
}

Result<bool> OvloAccounts::invalidateConnection(Connection& db, int64_t aid, int64_t cid) const {
  if (Status removed = db.run("DELETE FROM ovlo_connections WHERE aid = ? AND cid = ?", {aid, cid});
      !removed.ok()) {
    return removed.error();
  }
  return db.changes() > 0;
}

Result<bool> OvloAccounts::ownsConnection(Connection& db, int64_t aid, int64_t cid) const {
  auto count =
      db.scalar("SELECT COUNT(*) FROM ovlo_connections WHERE aid = ? AND cid = ?", {aid, cid});
  if (!count.ok()) return count.error();
  return integerOf(*count).value_or(0) > 0;
}

}  // namespace mr::sandbox
