#pragma once
// The one file the program writes: created or replaced, filled in one write,
// closed. Failures carry the system's own reason so the window can show it.
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "text/MarkerText.h"

namespace velbrook {

// The file could not be created; reason() is the system's text, unchanged.
class FileCreateError : public std::runtime_error {
 public:
  FileCreateError(Text path, Text reason);
  const Text& path() const { return path_; }
  const Text& reason() const { return reason_; }

 private:
  Text path_;
  Text reason_;
};

// Not every byte reached the file; what was written stays in it.
class FileWriteError : public std::runtime_error {
 public:
  explicit FileWriteError(Text reason);
  const Text& reason() const { return reason_; }

 private:
  Text reason_;
};

// An open file for writing, closed when destroyed. Move-only.
class TextFile {
 public:
  // Creates the file at path, or cuts an existing one to nothing. Throws
  // FileCreateError.
  static TextFile CreateOrReplace(const Text& path);

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
  // The system's handle of the open file (a descriptor here, a HANDLE on
  // Windows, whose invalid value is -1 too).
  using Handle = std::intptr_t;
  static constexpr Handle kNoFile = -1;

  explicit TextFile(Handle handle) : handle_(handle) {}
  Handle handle_ = kNoFile;
};

}  // namespace velbrook
