// One writer at a time: a unit opened for writing holds an exclusive
// advisory lock on its file, readers hold none. The lock is flock(2)'s,
// which belongs to the open file description: two opens of one file
// conflict even inside one process, and the lock goes away with the last
// descriptor of that open, so a writer that dies (even by SIGKILL) releases
// it with its process.
#pragma once

namespace zep::io {

enum class WriterLock {
  kHeld,         // this unit now holds (or already held) the lock
  kBusy,         // another open of the file holds it
  kUnsupported,  // the file system keeps no such locks (or no descriptor)
};

// Takes the writer's lock on the descriptor of row `index` without waiting.
// The row must be open on the real file (an archive member never is: it is
// read-only). Idempotent for a row that already holds the lock.
WriterLock lock_for_writing(int index);

// Gives up the row's lock, if it holds one (the descriptor stays open).
void unlock_writer(int index);

// The same on a bare descriptor, for callers that must hold the lock before
// the file is bound (say, to empty it). kHeld, kBusy or kUnsupported.
WriterLock lock_descriptor(int fd);
void unlock_descriptor(int fd);

}  // namespace zep::io
