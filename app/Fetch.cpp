// The page fetch of the main window: one GET of a page address through the
// window's HTTP client, the body decoded from code page 936.
#include <string>

#include "app/MainUnit.h"
#include "fetch/HttpClient.h"
#include "text/Encoding.h"

namespace {

constexpr int kPageReadTimeoutMs = 30000;
constexpr const char* kAccept =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*";
constexpr const char* kAcceptLanguage = "zh-cn";
constexpr const char* kContentType = "application/x-www-form-urlencoded";
constexpr const char* kUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Maxthon; .NET CLR 1.1.4322)";

}  // namespace

velbrook::Text TfrmMain::GetWebSiteTxt(const velbrook::Text& AUrl) {
  // The body buffer lives for this fetch only and is released on every way out.
  std::string body;
  velbrook::HttpClient& client = idhtp();
  client.SetReadTimeout(kPageReadTimeoutMs);
  velbrook::RequestSettings& request = client.Request();
  request.accept = kAccept;
  request.acceptLanguage = kAcceptLanguage;
  request.contentType = kContentType;
  request.userAgent = kUserAgent;
  client.Get(AUrl, body);
  return velbrook::DecodeCp936(body);
}
