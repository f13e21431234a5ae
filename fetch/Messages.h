#pragma once
// What the client sends and what it has read: the request texts of a page
// fetch and the record of a response. The head writer, the response reader
// and the client all work on these; the client owns them.
#include <cstdint>
#include <string>
#include <vector>

namespace velbrook {

// The request texts that every page fetch sets before its GET.
struct RequestSettings {
  std::string accept;
  std::string acceptLanguage;
  std::string contentType;
  std::string userAgent;
  std::string acceptEncoding = "identity";
};

// The record of the last response read.
struct Response {
  std::string statusLine;
  int32_t statusCode = -1;
  std::vector<std::string> headerLines;
  int64_t contentLength = -1;
  bool ContentLengthGiven() const { return contentLength >= 0; }
  std::string transferEncoding;
  std::string connection;
  std::string proxyConnection;
  std::string location;
  std::vector<std::string> serverChallenges;
  std::vector<std::string> proxyChallenges;
};

}  // namespace velbrook
