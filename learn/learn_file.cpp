// The learn file: the record codec, block reading, and the merge that replaces the file
// in one step.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "learn/learn.h"

namespace {

void PutLittle(uint8_t* bytes, uint64_t value, int count) {
  for (int i = 0; i < count; ++i) bytes[i] = uint8_t(value >> (8 * i));
}
uint64_t GetLittle(const uint8_t* bytes, int count) {
  uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// Writes whole blocks; Finish puts everything on the disk before the file is closed.
class LearnFileWriter {
 public:
  explicit LearnFileWriter(const std::string& path) {
    // A directory of that name or a folder without write permission fails here, before
    // anything has changed.
    descriptor_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  ~LearnFileWriter() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  bool Opened() const { return descriptor_ >= 0; }
  void Put(const LearnRecord& record) {
    EncodeLearnRecord(record, block_ + filled_);
    filled_ += LearnRecordBytes;
    if (filled_ == sizeof block_) Flush();
  }
  bool Finish() {
    Flush();
    const bool synced = !failed_ && fsync(descriptor_) == 0;
    const bool closed = close(descriptor_) == 0;
    descriptor_ = -1;
    return synced && closed;
  }

 private:
  void Flush() {
    for (size_t at = 0; at < filled_ && !failed_;) {
      const ssize_t n = write(descriptor_, block_ + at, filled_ - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) failed_ = true;
      else at += size_t(n);
    }
    filled_ = 0;
  }
  int descriptor_ = -1;
  bool failed_ = false;
  uint8_t block_[LearnBlockRecords * LearnRecordBytes];
  size_t filled_ = 0;
};

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename is durable only once the directory's entry is on disk too.
void SyncDirectory(const std::string& path) {
  const int directory = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return;
  fsync(directory);
  close(directory);
}

}  // namespace

void EncodeLearnRecord(const LearnRecord& r, uint8_t* bytes) {
  PutLittle(bytes, r.key, 8);
  PutLittle(bytes + 8, r.nodes, 4);
  PutLittle(bytes + 12, uint16_t(r.score), 2);
  PutLittle(bytes + 14, r.moveIndex, 2);
  bytes[16] = r.depth;
}

LearnRecord DecodeLearnRecord(const uint8_t* bytes) {
  return LearnRecord{GetLittle(bytes, 8), uint32_t(GetLittle(bytes + 8, 4)),
                     int16_t(uint16_t(GetLittle(bytes + 12, 2))),
                     uint16_t(GetLittle(bytes + 14, 2)), bytes[16]};
}

LearnFileReader::LearnFileReader(const std::string& path) {
  file_ = std::fopen(path.c_str(), "rb");
  missing_ = !file_ && errno == ENOENT;
  failed_ = !file_ && !missing_;
}

LearnFileReader::~LearnFileReader() {
  if (file_) std::fclose(file_);
}

bool LearnFileReader::Next(LearnRecord& record) {
  if (!file_) return false;
  if (filled_ - at_ < size_t(LearnRecordBytes)) {
    const size_t left = filled_ - at_;
    std::memmove(block_, block_ + at_, left);
    filled_ = left + std::fread(block_ + left, 1, sizeof block_ - left, file_);
    at_ = 0;
    if (std::ferror(file_)) failed_ = true;
    if (filled_ < size_t(LearnRecordBytes)) {
      trailing_ = failed_ ? 0 : filled_;
      return false;
    }
  }
  record = DecodeLearnRecord(block_ + at_);
  at_ += LearnRecordBytes;
  return true;
}

std::string LearnTemporaryPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? LearnTemporaryName
                                    : path.substr(0, slash + 1) + LearnTemporaryName;
}

bool MergeLearnFile(const std::string& path, const std::vector<LearnRecord>& fresh) {
  LearnFileReader old(path);
  // A file that exists but cannot be read would be lost by the merge.
  if (!old.Opened() && !old.Missing()) return false;
  const std::string temporary = LearnTemporaryPath(path);
  LearnFileWriter out(temporary);
  if (!out.Opened()) return false;

  LearnRecord f{};
  bool haveFile = old.Next(f);
  size_t n = 0;
  while (haveFile || n < fresh.size()) {
    if (haveFile && n < fresh.size() && f.key == fresh[n].key) {
      out.Put(fresh[n].depth > f.depth ? fresh[n] : f);
      ++n;
      haveFile = old.Next(f);
    } else if (haveFile && (n == fresh.size() || f.key < fresh[n].key)) {
      out.Put(f);
      haveFile = old.Next(f);
    } else {
      out.Put(fresh[n++]);
    }
  }
  // A read error would drop the rest of the old file: keep the old file instead.
  if (!out.Finish() || old.Failed() || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  SyncDirectory(path);
  return true;
}
