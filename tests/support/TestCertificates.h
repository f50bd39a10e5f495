#pragma once

#include <string>

#include "support/TempDirectory.h"

// A throwaway certificate authority and a server certificate it signed for
// 127.0.0.1 and localhost, made at construction (EC P-256, valid from an hour
// ago for a day) and written as PEM files into a temporary directory.
// A second, unrelated authority is made too, for checks that a certificate
// signed by someone else is refused.
class TestCertificates {
 public:
  TestCertificates();

  const std::string& AuthorityFile() const { return authorityFile_; }
  const std::string& OtherAuthorityFile() const { return otherAuthorityFile_; }
  const std::string& ServerCertificateFile() const { return serverCertificateFile_; }
  const std::string& ServerKeyFile() const { return serverKeyFile_; }

 private:
  TempDirectory dir_;
  std::string authorityFile_;
  std::string otherAuthorityFile_;
  std::string serverCertificateFile_;
  std::string serverKeyFile_;
};
