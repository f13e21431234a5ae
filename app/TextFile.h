#pragma once
// The one file the program writes: created or replaced, filled in one write,
// closed. Failures carry the system's own reason so the window can show it.
#include <stdexcept>
#include <string>
#include <string_view>

namespace velbrook {

// The file could not be created; reason() is the system's text, unchanged.
class FileCreateError : public std::runtime_error {
 public:
  FileCreateError(std::string path, std::string reason);
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string path_;
  std::string reason_;
};

// Not every byte reached the file; what was written stays in it.
class FileWriteError : public std::runtime_error {
 public:
  explicit FileWriteError(std::string reason);
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// An open file for writing, closed when destroyed. Move-only.
class TextFile {
 public:
  // Creates the file at path (native bytes), or cuts an existing one to
  // nothing. Throws FileCreateError.
  static TextFile CreateOrReplace(const std::string& path);

  ~TextFile();
  TextFile(TextFile&& other) noexcept;
  TextFile& operator=(TextFile&&) = delete;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Writes every byte (a short write is carried on, an interrupted one
  // retried). Throws FileWriteError when the system refuses the rest.
  void WriteAll(std::string_view bytes);
  // Closes the file; a close that reports lost data throws FileWriteError.
  void Close();

 private:
  explicit TextFile(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// The system's text for an errno value.
std::string SystemReason(int error);

}  // namespace velbrook
