// Sequential files: byte streams reached through a unit's descriptor, read
// and written at the descriptor's current position.
#pragma once

#include <cstdint>

namespace zep::io {

// Moves `bytes` bytes at the descriptor's current position, repeating the
// transfer while bytes remain and the last one moved more than 0 (an
// interrupted call is retried). Returns the bytes moved.
int64_t stream_read_full(int fd, void *buf, uint64_t bytes);
int64_t stream_write_full(int fd, const void *buf, uint64_t bytes);

// Largest word count one call may move: its byte count must fit the
// platform's transfer size and the int result.
constexpr int64_t kMaxStreamWords = INT32_MAX / 4;

}  // namespace zep::io
