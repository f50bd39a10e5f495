#include "support/TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "TestCertificates: %s\n", what);
  std::abort();
}

Key MakeKey() {
  Key key(EVP_EC_gen("P-256"));
  if (!key) Fail("cannot make a key");
  return key;
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension || !X509_add_ext(certificate, extension, -1)) Fail("cannot add an extension");
  X509_EXTENSION_free(extension);
}

// Signed by `issuerKey` under `issuer`'s name, or self-signed when `issuer` is null.
Certificate MakeCertificate(const char* commonName, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                            long serial, bool authority) {
  Certificate certificate(X509_new());
  X509* x = certificate.get();
  X509_set_version(x, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
  X509_gmtime_adj(X509_getm_notBefore(x), -3600);
  X509_gmtime_adj(X509_getm_notAfter(x), 86400);
  X509_set_pubkey(x, key);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1,
                             -1, 0);
  X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);
  X509* issuerOrSelf = issuer ? issuer : x;
  if (authority) {
    AddExtension(x, issuerOrSelf, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(x, issuerOrSelf, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(x, issuerOrSelf, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(x, issuerOrSelf, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    AddExtension(x, issuerOrSelf, NID_ext_key_usage, "serverAuth");
  }
  if (!X509_sign(x, issuerKey, EVP_sha256())) Fail("cannot sign");
  return certificate;
}

std::unique_ptr<std::FILE, FileClose> OpenForWriting(const std::string& path) {
  std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "wb"));
  if (!file) Fail("cannot write a PEM file");
  return file;
}

void WriteCertificate(const std::string& path, X509* certificate) {
  if (!PEM_write_X509(OpenForWriting(path).get(), certificate)) Fail("cannot write a certificate");
}

void WriteKey(const std::string& path, EVP_PKEY* key) {
  if (!PEM_write_PrivateKey(OpenForWriting(path).get(), key, nullptr, nullptr, 0, nullptr, nullptr))
    Fail("cannot write a key");
}

}  // namespace

TestCertificates::TestCertificates()
    : authorityFile_(dir_.File("authority.pem")),
      otherAuthorityFile_(dir_.File("other-authority.pem")),
      serverCertificateFile_(dir_.File("server.pem")),
      serverKeyFile_(dir_.File("server-key.pem")) {
  const Key authorityKey = MakeKey();
  const Certificate authority =
      MakeCertificate("Tintwise Test Authority", authorityKey.get(), nullptr, authorityKey.get(), 1, true);
  const Key otherKey = MakeKey();
  const Certificate other =
      MakeCertificate("Tintwise Other Authority", otherKey.get(), nullptr, otherKey.get(), 2, true);
  const Key serverKey = MakeKey();
  const Certificate server =
      MakeCertificate("127.0.0.1", serverKey.get(), authority.get(), authorityKey.get(), 3, false);
  WriteCertificate(authorityFile_, authority.get());
  WriteCertificate(otherAuthorityFile_, other.get());
  WriteCertificate(serverCertificateFile_, server.get());
  WriteKey(serverKeyFile_, serverKey.get());
}
