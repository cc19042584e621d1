// Process, memory, time and chance: the small services the program asks of the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tabshift::platform {

struct MemoryStatus {
  uint64_t total_physical = 0;
  uint64_t available_physical = 0;
};

MemoryStatus QueryMemoryStatus();

uint32_t ProcessId();
// The full path of the running program file ("" when it cannot be determined).
std::string ExecutablePath();

struct LocalTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalTime CurrentLocalTime();
// Milliseconds from an arbitrary fixed point; never goes backwards.
uint64_t TickCount();
void SleepMilliseconds(uint32_t milliseconds);

// Unpredictable bytes from the system's random source.
void RandomBytes(void* buffer, size_t length);
uint32_t Random32();
// A new random (version 4) GUID as braced upper-case text:
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string NewGuidText();

}  // namespace tabshift::platform
