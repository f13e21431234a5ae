#include "forum/PageTable.h"

#include <utility>
#include <vector>

#include "text/Encoding.h"

namespace velbrook {
namespace {

Body MakeBody(std::string bytes) { return std::make_shared<const std::string>(std::move(bytes)); }

Body ErrorPage(const char16_t* message) {
  return MakeBody(EncodeCp936(u"<html><head><title>论坛</title></head><body><p>" + Text(message) +
                              u"</p></body></html>\r\n"));
}

Decision Answered(Answer answer) { return Decision{Verdict::Answer, std::move(answer)}; }

Decision Refused(int status, const char* reason, const char* extraField = nullptr) {
  return Decision{Verdict::Refuse, Refusal(status, reason, extraField)};
}

Decision NotFound() {
  return Answered(Answer{404, "Not Found", ErrorPage(u"您要访问的页面不存在。")});
}

}  // namespace

// A generated thread writes each page the first time it is asked for.
struct PageTable::GeneratedSource {
  GeneratedThread shape;
  ForumThread skeleton;
  Text siteAddress;
  std::mutex mutex;
  std::vector<Body> cache;

  Body Page(std::size_t index) {
    std::lock_guard lock(mutex);
    if (!cache[index])
      cache[index] = MakeBody(
          EncodeCp936(WriteThreadPage(skeleton, index, GeneratedPage(shape, index), siteAddress)));
    return cache[index];
  }
};

PageTable::PageTable(Text siteAddress)
    : siteAddress_(std::move(siteAddress)), siteHost_(SiteHost(siteAddress_)) {}

void PageTable::AddThread(const ForumThread& thread) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < thread.pages.size(); ++i)
    pages_[ThreadPagePath(thread.pages[i].name)].body =
        MakeBody(EncodeCp936(WriteThreadPage(thread, i, siteAddress_)));
}

void PageTable::AddGeneratedThread(const GeneratedThread& thread) {
  auto source = std::make_shared<GeneratedSource>();
  source->shape = thread;
  source->skeleton = GeneratedSkeleton(thread);
  source->siteAddress = siteAddress_;
  source->cache.resize(thread.pageCount);
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < thread.pageCount; ++i)
    pages_[ThreadPagePath(source->skeleton.pages[i].name)] = PageEntry{nullptr, source, i};
}

void PageTable::AddRawPage(const std::string& path, std::string body) {
  std::lock_guard lock(mutex_);
  pages_[path] = PageEntry{MakeBody(std::move(body)), nullptr, 0};
}

void PageTable::SetChunked(const std::string& path, bool chunked) {
  std::lock_guard lock(mutex_);
  chunked_[path] = chunked;
}

void PageTable::FailPage(const std::string& path, PageFailure failure) {
  std::lock_guard lock(mutex_);
  failures_[path] = failure;
}

void PageTable::DelayPage(const std::string& path, int delayMs) {
  std::lock_guard lock(mutex_);
  delays_[path] = delayMs;
}

void PageTable::ClearFailures() {
  std::lock_guard lock(mutex_);
  failures_.clear();
}

Decision PageTable::Decide(const RequestHead& request, uint16_t port) const {
  if (!request.HostWellGiven()) return Refused(400, "Bad Request");
  if (request.method != "GET" && request.method != "HEAD")
    return Refused(405, "Method Not Allowed", "Allow: GET, HEAD");
  // A GET of ours has no body; one that announces a body cannot be framed
  // safely, so the connection ends after the refusal.
  const std::string length = request.Field("Content-Length").value_or("0");
  if ((length != "0" && !length.empty()) || request.Field("Transfer-Encoding"))
    return Refused(400, "Bad Request");
  if (!request.TargetMayName(siteHost_, port)) return NotFound();
  return DecidePage(request.Path());
}

Decision PageTable::DecidePage(const std::string& path) const {
  Answer answer;
  PageEntry entry;
  {
    std::lock_guard lock(mutex_);
    if (auto failure = failures_.find(path); failure != failures_.end()) {
      switch (failure->second) {
        case PageFailure::Close:
          return Decision{Verdict::Close, {}};
        case PageFailure::Stall:
          return Decision{Verdict::Stall, {}};
        case PageFailure::Status500:
          return Answered(
              Answer{500, "Internal Server Error", ErrorPage(u"服务器忙，请稍后再试。")});
        case PageFailure::None:
          break;
      }
    }
    const auto page = pages_.find(path);
    if (page == pages_.end()) return NotFound();
    entry = page->second;
    const auto chunking = chunked_.find(path);
    answer.chunked = chunking != chunked_.end() && chunking->second;
    if (const auto delay = delays_.find(path); delay != delays_.end())
      answer.delayMs = delay->second;
  }
  // A generated page is written outside the table's lock: it may take a while.
  answer.body = entry.body ? entry.body : entry.source->Page(entry.index);
  return Answered(std::move(answer));
}

}  // namespace velbrook
