#include "engine/access/ABSStreamItems.h"

#include <algorithm>

#include "engine/access/ABSExcept.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

[[noreturn]] void RaiseShortRead(int32_t native_error, int64_t position, int64_t size,
                                 int64_t count, int64_t done) {
  RaiseEngineErrorFmt(native_error,
                      "Cannot read from stream. Position = %d, Stream size = %d, Block size = "
                      "%d, Bytes Read = %d",
                      {position, size, count, done});
}

}  // namespace

void WriteStreamItem(TStream& stream, const void* bytes, size_t count, int32_t native_error) {
  const int64_t position = stream.Position();
  const int64_t size = stream.Size();
  const size_t done = stream.Write(bytes, count);
  if (done != count) {
    RaiseEngineErrorFmt(native_error,
                        "Cannot write to stream. Position = %d, Stream size = %d, Block size = "
                        "%d, Bytes Write = %d",
                        {position, size, count, done});
  }
}

void ReadStreamItem(TStream& stream, void* bytes, size_t count, int32_t native_error) {
  const int64_t position = stream.Position();
  const int64_t size = stream.Size();
  const size_t done = stream.Read(bytes, count);
  if (done != count) {
    RaiseShortRead(native_error, position, size, static_cast<int64_t>(count),
                   static_cast<int64_t>(done));
  }
}

void CheckStreamHolds(TStream& stream, int64_t count, int32_t native_error) {
  const int64_t position = stream.Position();
  const int64_t size = stream.Size();
  const int64_t available = std::max<int64_t>(size - position, 0);
  if (count > available) RaiseShortRead(native_error, position, size, count, available);
}

}  // namespace tabshift
