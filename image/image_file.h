// Positioned, read-only access to the image file on the host.
//
// The reader asks for small pieces of the file at absolute positions: a disk
// header, a 16-byte sector header, a sector's data. Going to the host for each
// of them would cost a seek and a read per record, so the file is read in
// aligned pages of kPageSize bytes, and the last kPageCount pages used are
// kept. One large window would not do: a lookup walks from its track's first
// record, which may lie among the disk headers at the front of the file, into
// records and data far behind it, and the next lookup comes back to the
// front; a window refilled at each end cost two large reads per lookup. Small
// pages keep the front, the chain and the data apart, and a miss that lands
// on scattered data reads little. A miss at or a little after the end of
// the pages read last (less far than the run of misses has read so far)
// reads ahead as many pages as that run, up to kMaxReadAhead: a file read
// from front to back, or a disk whose tracks are looked up in order, still
// arrives in large reads, and a short run never reads more than twice what
// it uses.
// Positions are 64-bit so that images larger than 2 GiB work.
#pragma once

#include <cstdint>
#include <cstdio>

namespace d88 {

class ImageFile {
 public:
  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens path for binary reading. Fails when the host cannot open it or when
  // it opens but cannot be read as a file (a directory, on POSIX hosts).
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return stream_ != nullptr; }
  // The errno value that made the last Open fail.
  int OpenError() const { return open_error_; }
  // Bytes in the file as the host sees it now; -1 when none is open or the
  // host cannot tell.
  std::int64_t Size();

  // Copies up to length bytes from the given file position into dest and
  // returns how many arrived: fewer than length only at the end of the file
  // or on a read error, and never any byte that was not read from the file.
  // A read longer than a page goes straight to the host: it is a sector's
  // data, read once, and would only push out pages that are used again.
  std::int32_t ReadAt(std::int64_t position, std::uint8_t* dest,
                      std::int32_t length);

  // For a read that nothing near it will follow, such as the scan's hop
  // from one disk header to the next, a whole disk further on: bytes that
  // are not in the pages come straight from the host, and the pages keep
  // what they hold.
  std::int32_t ReadAtOnly(std::int64_t position, std::uint8_t* dest,
                          std::int32_t length);

  // What the file has cost the host so far: read calls, and bytes delivered.
  std::int64_t HostReadCalls() const { return host_read_calls_; }
  std::int64_t HostReadBytes() const { return host_read_bytes_; }

  static constexpr std::int32_t kPageSize = 4096;
  static constexpr int kPageCount = 64;
  static constexpr int kMaxReadAhead = 32;

 private:
  struct Page {
    std::int64_t start;     // -1 when the page holds nothing
    std::int32_t length;    // shorter than kPageSize only at the end of file
    std::uint64_t last_use;
  };

  std::int32_t ReadFromHost(std::int64_t position, std::uint8_t* dest,
                            std::int32_t length);
  int PageHolding(std::int64_t position);
  int FindPage(std::int64_t start) const;
  int LeastRecentPage() const;
  int LeastRecentGroup() const;
  int FillPages(std::int64_t start);
  int PagesToRead(std::int64_t start) const;
  bool ContinuesRun(std::int64_t start) const;
  bool Holds(std::int64_t position, std::int32_t length) const;
  void ForgetPages();

  std::FILE* stream_ = nullptr;
  int open_error_ = 0;
  std::uint64_t clock_ = 0;
  int last_page_ = 0;              // the page the last read was served from
  // The slot a page was last put in, by page number modulo kHints: most
  // lookups find their page there without going through every slot.
  static constexpr int kHints = 256;
  std::uint8_t hints_[kHints] = {};
  // Where the last host fill ended, and the pages the run of fills has read;
  // no read continues a run of 0 pages. (Starting at 0 rather than -1 keeps
  // a new reader all zero bytes: see D88Image.)
  std::int64_t read_ahead_at_ = 0;
  int read_ahead_pages_ = 0;
  std::int64_t host_read_calls_ = 0;
  std::int64_t host_read_bytes_ = 0;
  // Where a host read first came back short: the end of the file. Reads
  // from there on are not asked of the host again (a walk past the end
  // would otherwise cost a seek and a read, and push out a page, for every
  // header it tries there).
  bool end_seen_ = false;
  std::int64_t end_ = 0;
  Page pages_[kPageCount] = {};
  // A read of several pages goes straight into a group of kMaxReadAhead
  // slots that follow one another here.
  std::uint8_t bytes_[kPageCount][kPageSize] = {};
};

}  // namespace d88
