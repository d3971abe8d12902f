#include "change_counter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "unique_fd.h"

namespace vidazoz::wineprefix {

ChangeCounter::~ChangeCounter() {
  if (mapped_ != nullptr) ::munmap(const_cast<std::uint64_t*>(mapped_), sizeof(std::uint64_t));
}

std::uint64_t ChangeCounter::Read(const std::string& lockPath) {
  if (mapped_ == nullptr) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAttempt_ < kExternalChangeWindow) return kUnknown;
    lastAttempt_ = now;
    UniqueFd fd(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.Get(), &st) != 0 || st.st_size < static_cast<off_t>(sizeof(std::uint64_t))) return kUnknown;
    void* map = ::mmap(nullptr, sizeof(std::uint64_t), PROT_READ, MAP_SHARED, fd.Get(), 0);
    if (map == MAP_FAILED) return kUnknown;
    mapped_ = static_cast<const std::uint64_t*>(map);
  }
  return std::atomic_ref<std::uint64_t>(*const_cast<std::uint64_t*>(mapped_)).load(std::memory_order_acquire);
}

void ChangeCounter::Bump(int lockFd) {
  struct stat st {};
  if (::fstat(lockFd, &st) != 0) return;
  if (st.st_size < static_cast<off_t>(sizeof(std::uint64_t)) && ::ftruncate(lockFd, sizeof(std::uint64_t)) != 0) return;
  void* map = ::mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, lockFd, 0);
  if (map == MAP_FAILED) return;
  std::atomic_ref<std::uint64_t>(*static_cast<std::uint64_t*>(map)).fetch_add(1, std::memory_order_release);
  ::munmap(map, sizeof(std::uint64_t));
}

}  // namespace vidazoz::wineprefix
