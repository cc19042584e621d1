// Reading and writing the items of the engine's stored metadata: every item moves on its own,
// and one that moves fewer bytes than asked raises EABSException with that item's native code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tabshift {

class TStream;

// A short write raises `native_error` with "Cannot write to stream. Position = %d, Stream size
// = %d, Block size = %d, Bytes Write = %d" (position and size before the item).
void WriteStreamItem(TStream& stream, const void* bytes, size_t count, int32_t native_error);
// A short read raises `native_error` with "Cannot read from stream. Position = %d, Stream size
// = %d, Block size = %d, Bytes Read = %d".
void ReadStreamItem(TStream& stream, void* bytes, size_t count, int32_t native_error);
// Raises the short-read error of an item of `count` bytes when the stream holds fewer after
// its position, before anything is allocated for it.
void CheckStreamHolds(TStream& stream, int64_t count, int32_t native_error);

}  // namespace tabshift
