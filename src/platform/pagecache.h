#pragma once

#include <QtGlobal>

namespace vantora {

// A file's pages in the page cache: asked about, read in ahead, written out early. The disk work is started
// from threads of their own, for the copying thread (it runs the event loop between chunks) not to wait
// behind the filesystem's journal or the disk's queue.

// True when the middle of the file is in the page cache already (a file the user had just read; a shooting
// date read before the copy reads only the file's head or tail). Asked without waiting for the disk.
bool IsCachedAlready(int fd, quint64 size);

// Has the disk read the first `length` bytes of an open file while the caller still works on the file
// before. Gives a ticket for WaitForReadAhead (0: nothing was asked).
quint64 StartReadAhead(int fd, quint64 length);
// Returns once the read ahead of `ticket` has been begun (or dropped): a reader that then hands the file's
// pages back does not have them read in again behind it.
void WaitForReadAhead(quint64 ticket);
// Drops the read aheads asked for and not yet begun (a stopped run's), closing their files, so that the
// medium is neither read on for nothing nor held busy when it is to be ejected.
void CancelReadAheads();

// Has the disk start writing a complete file right away: left to a later flush, it would stand idle while
// the next files are read. Only for a file no longer written to: started while the writes go on, the two
// wait for each other.
// A file smaller than 256 KiB is left to the flush, which writes those together.
void StartWriteback(int fd, quint64 size);

} // namespace vantora
