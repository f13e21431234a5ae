#include "os/TextFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "os/SystemError.h"
#include "text/Encoding.h"

namespace velbrook {
namespace {

Text ReasonOf(int error) { return SystemErrorText(std::error_code(error, std::system_category())); }

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

FileCreateError::FileCreateError(Text path, Text reason)
    : std::runtime_error("cannot create " + ToUtf8(path) + ": " + ToUtf8(reason)),
      path_(std::move(path)),
      reason_(std::move(reason)) {}

FileWriteError::FileWriteError(Text reason)
    : std::runtime_error("write failed: " + ToUtf8(reason)), reason_(std::move(reason)) {}

TextFile TextFile::CreateOrReplace(const Text& path) {
  // The file system's names are UTF-8 bytes.
  const int fd = OpenForReplacing(ToUtf8(path));
  if (fd < 0) {
    const int error = errno;
    throw FileCreateError(path, ReasonOf(error));
  }
  return TextFile(fd);
}

TextFile::~TextFile() {
  if (handle_ != kNoFile) ::close(static_cast<int>(handle_));
}

TextFile::TextFile(TextFile&& other) noexcept : handle_(std::exchange(other.handle_, kNoFile)) {}

void TextFile::WriteAll(std::string_view bytes) {
  const int fd = static_cast<int>(handle_);
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      throw FileWriteError(ReasonOf(error));
    }
    if (written == 0) throw FileWriteError(ReasonOf(ENOSPC));
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

void TextFile::Close() {
  const Handle handle = std::exchange(handle_, kNoFile);
  if (handle == kNoFile || ::close(static_cast<int>(handle)) == 0) return;
  const int error = errno;
  if (error != EINTR) throw FileWriteError(ReasonOf(error));
}

}  // namespace velbrook
