// The one place where files are opened: every failure becomes one sentence
// naming the file, nothing but a regular file is ever opened (a FIFO would
// block, a device could feed without end), and a replaced file is written
// whole or not at all.
#include "file_access.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace dadimero {

// A stream buffer over a file descriptor, which it closes. It records the
// first error of a read or write; a large read or write bypasses the buffer.
class DescriptorBuffer : public std::streambuf {
  public:
    explicit DescriptorBuffer(int descriptor) : descriptor_(descriptor), bytes_(kBufferBytes) {
        setp(bytes_.data(), bytes_.data() + bytes_.size());
        setg(bytes_.data(), bytes_.data(), bytes_.data());
    }
    ~DescriptorBuffer() override { close(); }
    DescriptorBuffer(const DescriptorBuffer&) = delete;
    DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

    int descriptor() const { return descriptor_; }
    int error() const { return error_; }
    // Closes the descriptor; the errno of a failed close, else 0.
    int close() {
        if (descriptor_ < 0) return 0;
        const int result = ::close(descriptor_);
        descriptor_ = -1;
        return result == 0 ? 0 : errno;
    }

  protected:
    int_type overflow(int_type c) override {
        if (!flush()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        if (count < epptr() - pptr()) {
            std::memcpy(pptr(), data, static_cast<size_t>(count));
            pbump(static_cast<int>(count));
            return count;
        }
        if (!flush() || !writeAll(data, static_cast<size_t>(count))) return 0;
        return count;
    }
    int sync() override { return flush() ? 0 : -1; }

    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        const ssize_t got = readSome(bytes_.data(), bytes_.size());
        if (got <= 0) return traits_type::eof();
        setg(bytes_.data(), bytes_.data(), bytes_.data() + got);
        return traits_type::to_int_type(*gptr());
    }
    std::streamsize xsgetn(char* data, std::streamsize count) override {
        std::streamsize done = std::min<std::streamsize>(count, egptr() - gptr());
        std::memcpy(data, gptr(), static_cast<size_t>(done));
        gbump(static_cast<int>(done));
        if (done < count && count - done < static_cast<std::streamsize>(bytes_.size())) {
            return done + std::streambuf::xsgetn(data + done, count - done);
        }
        while (done < count) {
            const ssize_t got = readSome(data + done, static_cast<size_t>(count - done));
            if (got <= 0) break;
            done += got;
        }
        return done;
    }

  private:
    static constexpr size_t kBufferBytes = size_t{1} << 16;

    bool flush() {
        const size_t pending = static_cast<size_t>(pptr() - pbase());
        setp(bytes_.data(), bytes_.data() + bytes_.size());
        return writeAll(bytes_.data(), pending);
    }
    bool writeAll(const char* data, size_t size) {
        while (size > 0 && error_ == 0) {
            const ssize_t written = ::write(descriptor_, data, size);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                error_ = written < 0 ? errno : ENOSPC;
                break;
            }
            data += written;
            size -= static_cast<size_t>(written);
        }
        return error_ == 0;
    }
    ssize_t readSome(char* data, size_t size) {
        if (error_ != 0) return -1;
        for (;;) {
            const ssize_t got = ::read(descriptor_, data, size);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) error_ = errno;
            return got;
        }
    }

    int descriptor_;
    int error_ = 0;
    std::vector<char> bytes_;
};

namespace {

std::string sentence(const std::string& verb, const std::string& what, const std::string& path,
                     const std::string& reason) {
    return "cannot " + verb + " " + what + " " + shownPath(path) + ": " + reason;
}

// What is at a path that is not a regular file, for messages.
const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a directory";
    if (S_ISFIFO(mode)) return "it is a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device";
    if (S_ISSOCK(mode)) return "it is a socket";
    return "it is not a regular file";
}

bool isMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

void refuseNul(const std::string& path, const std::string& verb, const std::string& what) {
    if (path.find('\0') != std::string::npos) {
        throw FileFailure(sentence(verb, what, path, "the path holds a NUL byte"), false);
    }
    if (path.empty())
        throw FileFailure("cannot " + verb + " " + what + ": the path is empty", true);
}

// "NAME.<process>-<count>.tmp" beside `target`, created here and now (never an
// existing file, whoever made it); its descriptor, or -1 with errno set.
int createTemporary(const std::string& target, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        temporary =
            target + "." + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
        const int descriptor =
            open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
}

// Syncs the folder that holds `path`, so that a rename in it survives a crash.
// 0, or the errno of the failure; a file system that cannot sync a folder
// (EINVAL) is taken as synced.
int syncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return errno;
    const int result = fsync(descriptor) == 0 || errno == EINVAL ? 0 : errno;
    close(descriptor);
    return result;
}

}  // namespace

std::string shownPath(const std::string& path) {
    std::string shown;
    for (const char c : path) {
        if (c == '\0') {
            shown += "\\0";
        } else {
            shown += c;
        }
    }
    return shown;
}

InputFile::InputFile(const std::string& path, const std::string& what) : path_(path), what_(what) {
    refuseNul(path, "read", what);
    // Looked at before it is opened, so that a device is never opened; then
    // opened without blocking, in case a FIFO took its place meanwhile.
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        const int error = errno;
        throw FileFailure(sentence("read", what, path, std::strerror(error)), isMissing(error));
    }
    if (!S_ISREG(status.st_mode)) {
        throw FileFailure(sentence("read", what, path, kindOf(status.st_mode)), false);
    }
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        throw FileFailure(sentence("read", what, path, std::strerror(error)), isMissing(error));
    }
    buffer_ = std::make_unique<DescriptorBuffer>(descriptor);
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        throw FileFailure(sentence("read", what, path, kindOf(status.st_mode)), false);
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    size_ = status.st_size;
}

InputFile::~InputFile() = default;

std::streambuf& InputFile::buffer() {
    return *buffer_;
}

void InputFile::throwIfFailed() const {
    if (buffer_->error() != 0) {
        throw FileFailure(sentence("read", what_, path_, std::strerror(buffer_->error())), false);
    }
}

std::string InputFile::readAll(int64_t limit) {
    std::string text(static_cast<size_t>(std::min(size_, limit) + 1), '\0');
    size_t length = 0;
    for (;;) {
        if (length == text.size()) text.resize(std::min<int64_t>(limit + 1, 2 * length + 1));
        const std::streamsize got = buffer_->sgetn(
            text.data() + length, static_cast<std::streamsize>(text.size() - length));
        if (got <= 0) break;
        length += static_cast<size_t>(got);
        if (static_cast<int64_t>(length) > limit) {
            throw FileFailure(sentence("read", what_, path_,
                                       "it is longer than " + std::to_string(limit) + " bytes"),
                              false);
        }
    }
    throwIfFailed();
    text.resize(length);
    return text;
}

ReplacingFile::ReplacingFile(const std::string& path, const std::string& what)
    : path_(path), what_(what), target_(path) {
    refuseNul(path, "write", what);
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        struct stat linked {};
        if (!S_ISLNK(status.st_mode)) {
            throw FileFailure(sentence("write", what, path, kindOf(status.st_mode)), false);
        }
        if (stat(path.c_str(), &linked) != 0) {
            throw FileFailure(sentence("write", what, path, "it is a link that leads nowhere"),
                              false);
        }
        if (!S_ISREG(linked.st_mode)) {
            throw FileFailure(sentence("write", what, path, kindOf(linked.st_mode)), false);
        }
        char* resolved = realpath(path.c_str(), nullptr);
        if (resolved == nullptr) failWith(errno);
        target_ = resolved;
        std::free(resolved);
    }
    const int descriptor = createTemporary(target_, temporary_);
    if (descriptor < 0) {
        const int error = errno;
        temporary_.clear();
        failWith(error);
    }
    buffer_ = std::make_unique<DescriptorBuffer>(descriptor);
}

ReplacingFile::~ReplacingFile() {
    if (buffer_) buffer_->close();
    if (!temporary_.empty()) unlink(temporary_.c_str());
}

std::streambuf& ReplacingFile::buffer() {
    return *buffer_;
}

void ReplacingFile::failWith(int error) {
    throw FileFailure(sentence("write", what_, path_, std::strerror(error)), isMissing(error));
}

void ReplacingFile::throwIfFailed() const {
    if (buffer_->error() != 0) {
        throw FileFailure(sentence("write", what_, path_, std::strerror(buffer_->error())), false);
    }
}

void ReplacingFile::commit() {
    buffer_->pubsync();
    throwIfFailed();
    if (fsync(buffer_->descriptor()) != 0) failWith(errno);
    if (const int error = buffer_->close(); error != 0) failWith(error);
    if (rename(temporary_.c_str(), target_.c_str()) != 0) failWith(errno);
    temporary_.clear();
    if (const int error = syncFolderOf(target_); error != 0) failWith(error);
}

}  // namespace dadimero
