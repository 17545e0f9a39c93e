#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace dadimero {

// Why a file could not be opened, read or written, in one sentence that names
// it: "cannot read the state file s.bin: it is a FIFO".
class FileFailure : public std::runtime_error {
  public:
    FileFailure(const std::string& sentence, bool missing)
        : std::runtime_error(sentence), missing_(missing) {}
    // Nothing is at the path (or a folder on the way is missing).
    bool missing() const { return missing_; }

  private:
    bool missing_;
};

// `path` as messages show it: a NUL byte appears as \0.
std::string shownPath(const std::string& path);

class DescriptorBuffer;

// A regular file open for reading, closed with the object. Opening never
// blocks or touches anything but a regular file: a directory, a FIFO, a
// device, a socket and a path holding a NUL byte are refused. `what` names the
// file in messages ("the state file"). Throws FileFailure.
class InputFile {
  public:
    InputFile(const std::string& path, const std::string& what);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The file's length when it was opened.
    int64_t size() const { return size_; }
    // Reads through it; a read of many bytes goes straight to the destination.
    std::streambuf& buffer();
    // Throws the FileFailure of a read that failed (EIO), if there was one.
    void throwIfFailed() const;
    // The whole file; throws when it is longer than `limit` bytes.
    std::string readAll(int64_t limit);

  private:
    std::string path_;
    std::string what_;
    int64_t size_ = 0;
    std::unique_ptr<DescriptorBuffer> buffer_;
};

// Replaces `path` whole or not at all: the bytes go to a new temporary file
// beside it, "NAME.<unique>.tmp", and commit() syncs that file to the disk,
// renames it over `path` and syncs the folder. Destroyed without commit(), or
// after a failure, it removes the temporary, and `path` is as it was. Only a
// regular file is replaced; a link to one is written through; anything else
// at `path`, and a path holding a NUL byte, is refused. Throws FileFailure,
// naming the file by `what` ("the state file").
class ReplacingFile {
  public:
    ReplacingFile(const std::string& path, const std::string& what);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Writes through it: every write is checked, a full disk included.
    std::streambuf& buffer();
    // Throws the FileFailure of a write that failed, if there was one.
    void throwIfFailed() const;
    void commit();

  private:
    [[noreturn]] void failWith(int error);
    std::string path_;
    std::string what_;
    std::string target_;     // path_, or the file a link there leads to
    std::string temporary_;  // removed unless committed
    std::unique_ptr<DescriptorBuffer> buffer_;
};

}  // namespace dadimero
