#include "machine_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "plat/machine.h"

namespace plat::state {
namespace {
namespace fs = std::filesystem;

class StateLock {
 public:
  StateLock() {
    std::error_code ec;
    fs::create_directories(Folder(), ec);
    fd_ = ::open((Folder() + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~StateLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
}  // namespace

std::string Folder() { return plat::machine::Root() + "/.machine/state"; }

std::string Read(const std::string& name) {
  StateLock lock;
  return ReadFile(Folder() + "/" + name);
}

bool Update(const std::string& name, const std::function<void(std::string& text)>& change) {
  StateLock lock;
  if (!lock.Held()) return false;
  const std::string path = Folder() + "/" + name;
  const std::string before = ReadFile(path);
  std::string text = before;
  change(text);
  if (text == before) return true;
  const std::string temp = path + ".new." + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  return !ec;
}
}  // namespace plat::state
