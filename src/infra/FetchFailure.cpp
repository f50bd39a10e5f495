#include "infra/FetchFailure.h"

std::string FetchFailure::English() const {
  std::string text;
  switch (kind) {
    case Kind::kNone:
      return {};
    case Kind::kRefusedAddress:
      text = "the address is not one this program fetches";
      break;
    case Kind::kNoSession:
      text = "the HTTP library cannot be used";
      break;
    case Kind::kConnect:
      text = "no connection";
      break;
    case Kind::kCertificate:
      text = "the server's certificate was not accepted";
      break;
    case Kind::kHttpStatus:
      text = "the server answered HTTP " + std::to_string(status);
      break;
    case Kind::kTooLarge:
      text = "the body is too large";
      break;
    case Kind::kStalled:
      text = "the server stopped sending";
      break;
    case Kind::kTooSlow:
      text = "the server sends too slowly";
      break;
    case Kind::kBroken:
      text = "the transfer broke off";
      break;
    case Kind::kAborted:
      text = "the transfer was stopped";
      break;
  }
  return detail.empty() ? text : text + " (" + detail + ")";
}
