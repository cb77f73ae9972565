// A read-only mapping of a whole file: long job streams are read where they
// lie instead of being copied into memory.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace streamdump {

class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      error_ = std::strerror(errno);
      return;
    }
    struct stat st{};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      error_ = "not a regular file";
      return;
    }
    size_ = static_cast<std::size_t>(st.st_size);
    if (size_ == 0) {
      ok_ = true;
      return;
    }
    void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
    if (p == MAP_FAILED) {
      error_ = "cannot map its " + std::to_string(size_) + " bytes: " + std::strerror(errno);
      opened_ = true;
      return;
    }
    ::madvise(p, size_, MADV_SEQUENTIAL);
    data_ = static_cast<const std::uint8_t*>(p);
    ok_ = true;
  }
  ~MappedFile() {
    if (data_ != nullptr) ::munmap(const_cast<std::uint8_t*>(data_), size_);
    if (fd_ >= 0) ::close(fd_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool ok() const { return ok_; }
  bool opened() const { return opened_; }
  const std::string& error() const { return error_; }
  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

 private:
  int fd_ = -1;
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  bool ok_ = false;
  bool opened_ = false;  // opened, but not mapped
  std::string error_;
};

}  // namespace streamdump
