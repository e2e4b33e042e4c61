#include "sandbox/SandboxCertificates.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <utility>

#include "sandbox/SandboxEnvelope.h"

namespace mr::sandbox {
namespace {

using KeyPtr = SandboxCertificates::KeyPtr;
using CertificatePtr = SandboxCertificates::CertificatePtr;

struct ExtensionFree {
  void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

Error opensslError(const std::string& what) {
  const unsigned long code = ERR_get_error();
  char text[256] = "unknown error";
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return sandboxError(SandboxError::InternalFailure, what + ": " + text);
}

Result<KeyPtr> newKey() {
  KeyPtr key(EVP_EC_gen("P-256"));
  if (!key) return opensslError("cannot make a key");
  return key;
}

bool setName(X509_NAME* name, const char* commonName) {
  return X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>("Mirelune sandbox"), -1,
                                    -1, 0) == 1 &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                    0) == 1;
}

bool addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  std::unique_ptr<X509_EXTENSION, ExtensionFree> extension(
      X509V3_EXT_conf_nid(nullptr, &context, nid, value));
  return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

// A certificate for `subjectKey` named `commonName`, not yet signed; the
// issuer name is the subject's own until the caller sets another.
Result<CertificatePtr> newCertificate(EVP_PKEY* subjectKey, const char* commonName) {
  CertificatePtr certificate(X509_new());
  if (!certificate) return opensslError("cannot make a certificate");
  unsigned char serial[16];
  if (RAND_bytes(serial, sizeof serial) != 1) return opensslError("no random serial");
  serial[0] &= 0x7F;  // serials are positive
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  const bool serialSet =
      number != nullptr && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate.get()));
  BN_free(number);
  if (!serialSet || X509_set_version(certificate.get(), 2) != 1 ||
      X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) == nullptr ||
      X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 30L * 24 * 3600) == nullptr ||
      X509_set_pubkey(certificate.get(), subjectKey) != 1 ||
      !setName(X509_get_subject_name(certificate.get()), commonName) ||
      X509_set_issuer_name(certificate.get(), X509_get_subject_name(certificate.get())) != 1) {
    return opensslError("cannot fill in a certificate");
  }
  return certificate;
}

Result<std::string> pemOf(X509* certificate) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) {
    return opensslError("cannot write a certificate");
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

}  // namespace

Result<SandboxCertificates> SandboxCertificates::generate() {
  auto authorityKey = newKey();
  if (!authorityKey.ok()) return authorityKey.error();
  auto authority = newCertificate(authorityKey->get(), "Mirelune sandbox CA");
  if (!authority.ok()) return authority.error();
  X509* ca = authority->get();
  if (!addExtension(ca, ca, NID_basic_constraints, "critical,CA:TRUE") ||
      !addExtension(ca, ca, NID_key_usage, "critical,keyCertSign,cRLSign") ||
      !addExtension(ca, ca, NID_subject_key_identifier, "hash") ||
      X509_sign(ca, authorityKey->get(), EVP_sha256()) == 0) {
    return opensslError("cannot make the certificate authority");
  }

  auto serverKey = newKey();
  if (!serverKey.ok()) return serverKey.error();
  auto server = newCertificate(serverKey->get(), "127.0.0.1");
  if (!server.ok()) return server.error();
  X509* leaf = server->get();
  if (X509_set_issuer_name(leaf, X509_get_subject_name(ca)) != 1 ||
      !addExtension(leaf, ca, NID_basic_constraints, "critical,CA:FALSE") ||
      !addExtension(leaf, ca, NID_key_usage, "critical,digitalSignature,keyEncipherment") ||
      !addExtension(leaf, ca, NID_ext_key_usage, "serverAuth") ||
      !addExtension(leaf, ca, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") ||
      !addExtension(leaf, ca, NID_authority_key_identifier, "keyid:always") ||
      X509_sign(leaf, authorityKey->get(), EVP_sha256()) == 0) {
    return opensslError("cannot make the server certificate");
  }

  auto authorityPem = pemOf(ca);
  if (!authorityPem.ok()) return authorityPem.error();
  auto serverPem = pemOf(leaf);
  if (!serverPem.ok()) return serverPem.error();
  SandboxCertificates certificates;
  certificates.serverKey_ = std::move(*serverKey);
  certificates.serverCertificate_ = std::move(*server);
  certificates.authorityPem_ = std::move(*authorityPem);
  certificates.serverCertificatePem_ = std::move(*serverPem);
  return certificates;
}

}  // namespace mr::sandbox
