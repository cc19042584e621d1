#include "platform/System.h"

#include <sys/random.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

namespace tabshift::platform {

MemoryStatus QueryMemoryStatus() {
  MemoryStatus status;
  const long page = sysconf(_SC_PAGESIZE);
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long available = sysconf(_SC_AVPHYS_PAGES);
  if (page > 0 && pages > 0) status.total_physical = uint64_t(page) * uint64_t(pages);
  if (page > 0 && available > 0) status.available_physical = uint64_t(page) * uint64_t(available);
  return status;
}

uint32_t ProcessId() {
  return static_cast<uint32_t>(getpid());
}

std::string ExecutablePath() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

LocalTime CurrentLocalTime() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm parts{};
  localtime_r(&seconds, &parts);
  const auto since_epoch = now.time_since_epoch();
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count() % 1000;
  return LocalTime{parts.tm_year + 1900,
                   parts.tm_mon + 1,
                   parts.tm_mday,
                   parts.tm_hour,
                   parts.tm_min,
                   parts.tm_sec,
                   static_cast<int>(milliseconds)};
}

uint64_t TickCount() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SleepMilliseconds(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void RandomBytes(void* buffer, size_t length) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    const ssize_t count = getrandom(bytes, length, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    bytes += count;
    length -= static_cast<size_t>(count);
  }
}

uint32_t Random32() {
  uint32_t value = 0;
  RandomBytes(&value, sizeof value);
  return value;
}

std::string NewGuidText() {
  uint8_t bytes[16];
  RandomBytes(bytes, sizeof bytes);
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text + "}";
}

}  // namespace tabshift::platform
