// The https form of the loopback server: needs cpp-httplib built with OpenSSL,
// so it is built only where OpenSSL is found.
#include <httplib.h>

#include "support/LoopbackHttpServer.h"
#include "support/TestCertificates.h"

LoopbackHttpServer::LoopbackHttpServer(const TestCertificates& tls)
    : LoopbackHttpServer(std::make_unique<httplib::SSLServer>(tls.ServerCertificateFile().c_str(),
                                                              tls.ServerKeyFile().c_str()),
                         "https") {}
