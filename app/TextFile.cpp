#include "app/TextFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace velbrook {

FileCreateError::FileCreateError(std::string path, std::string reason)
    : std::runtime_error("cannot create " + path + ": " + reason),
      path_(std::move(path)),
      reason_(std::move(reason)) {}

FileWriteError::FileWriteError(std::string reason)
    : std::runtime_error("write failed: " + reason), reason_(std::move(reason)) {}

std::string SystemReason(int error) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static text instead of filling buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string(buffer);
}

namespace {

// A named pipe without a reader would hold a blocking open forever; opening
// without blocking turns that into an error, and blocking writes come back
// once the file is open.
int OpenForReplacing(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return fd;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

}  // namespace

TextFile TextFile::CreateOrReplace(const std::string& path) {
  const int fd = OpenForReplacing(path);
  if (fd < 0) throw FileCreateError(path, SystemReason(errno));
  return TextFile(fd);
}

TextFile::~TextFile() {
  if (fd_ >= 0) ::close(fd_);
}

TextFile::TextFile(TextFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

void TextFile::WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throw FileWriteError(SystemReason(errno));
    }
    if (written == 0) throw FileWriteError(SystemReason(ENOSPC));
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

void TextFile::Close() {
  const int fd = std::exchange(fd_, -1);
  if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) throw FileWriteError(SystemReason(errno));
}

}  // namespace velbrook
