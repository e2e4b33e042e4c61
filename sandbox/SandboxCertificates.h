// The certificates of one sandbox run: a certificate authority made at start
// and a server certificate it signs for 127.0.0.1 and localhost. Clients
// that trust the authority's PEM reach the TLS server; others do not.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

#include "base/Error.h"

namespace mr::sandbox {

class SandboxCertificates {
 public:
  struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  };
  struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
  };
  using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
  using CertificatePtr = std::unique_ptr<X509, CertificateFree>;

  // EC P-256 keys, valid from an hour ago for thirty days.
  static Result<SandboxCertificates> generate();

  // Owned by this object; the TLS server takes its own references.
  X509* serverCertificate() const { return serverCertificate_.get(); }
  EVP_PKEY* serverKey() const { return serverKey_.get(); }
  const std::string& authorityPem() const { return authorityPem_; }
  const std::string& serverCertificatePem() const { return serverCertificatePem_; }

 private:
  KeyPtr serverKey_;
  CertificatePtr serverCertificate_;
  std::string authorityPem_;
  std::string serverCertificatePem_;
};

}  // namespace mr::sandbox
