#include "base/SettingsTree.h"

#include <shlwapi.h>
#include <algorithm>
#include <cstring>

namespace pw {
namespace {

// Bounds for reading a stream that may be damaged. Names are short keys;
// values are at most a few megabytes (an account's list of known messages).
constexpr uint32_t kMaxNameBytes = 64 * 1024;
constexpr uint32_t kMaxValueBytes = 256u * 1024 * 1024;
constexpr uint32_t kReadChunk = 64 * 1024;
constexpr size_t kWriteChunk = 1024 * 1024;

// Hash of the upper-cased name for the index. Keys are ASCII in practice;
// other text goes through the system's case mapping.
uint64_t FoldedHash(const wchar_t* s) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (const wchar_t* p = s; *p; ++p) {
    wchar_t c = *p;
    if (c >= 0x80) {
      std::wstring key(s);
      CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
      h = 1469598103934665603ull;
      for (wchar_t k : key) h = (h ^ k) * 1099511628211ull;
      return h;
    }
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    h = (h ^ c) * 1099511628211ull;
  }
  return h;
}

bool SameName(const wchar_t* a, const wchar_t* b) {
  for (size_t i = 0;; ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= 0x80 || y >= 0x80) return StrCmpIW(a, b) == 0;
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - 32);
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - 32);
    if (x != y) return false;
    if (x == 0) return true;
  }
}

// Reads the stream through a buffer: few calls into the stream, and never
// more memory than the bytes that really arrived.
class StreamReader {
 public:
  explicit StreamReader(IStream* stream) : stream_(stream), buf_(kReadChunk) {}

  bool Read(void* out, size_t size) {
    uint8_t* dst = static_cast<uint8_t*>(out);
    while (size > 0) {
      if (pos_ == len_ && !Fill()) return false;
      size_t n = std::min(size, len_ - pos_);
      memcpy(dst, buf_.data() + pos_, n);
      pos_ += n, dst += n, size -= n;
    }
    return true;
  }

  bool ReadU32(uint32_t* value) {
    uint8_t b[4];
    if (!Read(b, 4)) return false;
    *value = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
    return true;
  }

  // Grows `out` only as bytes arrive, so a huge size claimed by a damaged
  // stream costs no more memory than the stream really holds.
  bool ReadBytes(std::vector<uint8_t>& out, uint32_t size) {
    out.clear();
    while (out.size() < size) {
      size_t n = std::min<size_t>(kReadChunk, size - out.size());
      size_t at = out.size();
      out.resize(at + n);
      if (!Read(out.data() + at, n)) return false;
    }
    return true;
  }

 private:
  bool Fill() {
    ULONG got = 0;
    HRESULT hr = stream_->Read(buf_.data(), static_cast<ULONG>(buf_.size()), &got);
    pos_ = 0;
    len_ = SUCCEEDED(hr) ? got : 0;
    return len_ > 0;
  }

  IStream* stream_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, len_ = 0;
};

uint32_t LoadU32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

constexpr size_t kArenaBlock = 256 * 1024;

}  // namespace

uint8_t* SettingsArena::Alloc(size_t size) {
  size = (size + 7) & ~size_t(7);  // keeps every value aligned for its readers
  if (size > kArenaBlock / 4) {
    large_.push_back(std::make_unique_for_overwrite<uint8_t[]>(size));  // large values get a block of their own
    return large_.back().get();
  }
  if (used_ + size > capacity_) {
    // Blocks grow from small (most trees are small) to kArenaBlock.
    size_t next = std::max(size, capacity_ ? std::min(capacity_ * 2, kArenaBlock) : size_t(4096));
    blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(next));
    used_ = 0;
    capacity_ = next;
  }
  uint8_t* p = blocks_.back().get() + used_;
  used_ += size;
  return p;
}

void SettingsArena::Clear() {
  blocks_.clear();
  large_.clear();
  used_ = capacity_ = 0;
}

const wchar_t* SettingsTree::CopyName(const wchar_t* name, size_t units) {
  auto* p = reinterpret_cast<wchar_t*>(arena_.Alloc((units + 1) * sizeof(wchar_t)));
  wmemcpy(p, name, units);
  p[units] = 0;
  return p;
}

void SettingsTree::Append(const wchar_t* name, EntryKind kind, const void* data, uint32_t size) {
  if (!name) name = L"";
  SettingsEntry e;
  e.name = CopyName(name, wcslen(name));
  e.kind = kind;
  e.size = size;
  e.data = nullptr;
  if (size) {
    uint8_t* d = arena_.Alloc(size);
    memcpy(d, data, size);
    e.data = d;
  }
  entries_.push_back(e);
  indexed_ = false;
}

void SettingsTree::CreateNode(const wchar_t* name) {
  Append(name, EntryKind::NodeBegin, nullptr, 0);
  path_.push_back(static_cast<int32_t>(entries_.size() - 1));
}

bool SettingsTree::CloseNode() {
  if (path_.empty()) return false;
  int32_t begin = path_.back();
  uint8_t idx[4] = {uint8_t(begin), uint8_t(begin >> 8), uint8_t(begin >> 16), uint8_t(begin >> 24)};
  Append(entries_[begin].name, EntryKind::NodeEnd, idx, 4);
  path_.pop_back();
  return true;
}

void SettingsTree::SetInt(const wchar_t* name, int32_t value) {
  uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(uint32_t(value) >> 24)};
  Append(name, EntryKind::Value, b, 4);
}

void SettingsTree::SetShort(const wchar_t* name, int16_t value) {
  uint8_t b[2] = {uint8_t(value), uint8_t(uint16_t(value) >> 8)};
  Append(name, EntryKind::Value, b, 2);
}

void SettingsTree::SetString(const wchar_t* name, const wchar_t* text) {
  if (!text) return;
  size_t units = wcslen(text) + 1;
  Append(name, EntryKind::Value, text, static_cast<uint32_t>(units * sizeof(wchar_t)));
}

void SettingsTree::SetBinary(const wchar_t* name, const void* data, uint32_t size) {
  if (!data) return;
  Append(name, EntryKind::Value, data, size);
}

void SettingsTree::BuildIndex() const {
  index_.clear();
  scopeEnd_.assign(entries_.size(), static_cast<int32_t>(entries_.size()));
  std::vector<bool> ended(entries_.size(), false);
  for (size_t i = 0; i < entries_.size(); ++i) {
    const SettingsEntry& e = entries_[i];
    index_[FoldedHash(e.name)].push_back(static_cast<int32_t>(i));
    if (e.kind == EntryKind::NodeEnd && e.size == 4) {
      uint32_t b = LoadU32(e.data);
      // The walk from b + 1 stops at the first end that names b.
      if (b < i && !ended[b]) {
        ended[b] = true;
        scopeEnd_[b] = static_cast<int32_t>(i);
      }
    }
  }
  indexed_ = true;
}

int SettingsTree::Find(const wchar_t* name, bool nodesOnly) const {
  if (!name) return -1;
  if (!indexed_) BuildIndex();
  auto it = index_.find(FoldedHash(name));
  if (it == index_.end()) return -1;
  int32_t b = path_.empty() ? -1 : path_.back();
  int32_t end = b < 0 ? static_cast<int32_t>(entries_.size()) : scopeEnd_[b];
  const std::vector<int32_t>& list = it->second;
  for (auto p = std::upper_bound(list.begin(), list.end(), b); p != list.end() && *p < end; ++p) {
    const SettingsEntry& e = entries_[*p];
    if (nodesOnly && e.kind != EntryKind::NodeBegin) continue;
    if (SameName(e.name, name)) return *p;
  }
  return -1;
}

int SettingsTree::FindLinear(const wchar_t* name, bool nodesOnly) const {
  int32_t b = path_.empty() ? -1 : path_.back();
  for (size_t i = static_cast<size_t>(b + 1); i < entries_.size(); ++i) {
    const SettingsEntry& e = entries_[i];
    if (b >= 0 && e.kind == EntryKind::NodeEnd && e.size == 4 && LoadU32(e.data) == static_cast<uint32_t>(b))
      return -1;
    if (StrCmpIW(e.name, name) != 0) continue;
    if (nodesOnly && e.kind != EntryKind::NodeBegin) continue;
    return static_cast<int>(i);
  }
  return -1;
}

bool SettingsTree::EnterNode(const wchar_t* name) {
  int i = Find(name, true);
  if (i < 0) return false;
  path_.push_back(i);
  return true;
}

bool SettingsTree::LeaveNode() {
  if (path_.empty()) return false;
  path_.pop_back();
  return true;
}

int32_t SettingsTree::GetInt(const wchar_t* name, int32_t def) const {
  int i = Find(name, false);
  if (i < 0 || entries_[i].kind != EntryKind::Value || entries_[i].size != 4) return def;
  int32_t v;
  memcpy(&v, entries_[i].data, 4);
  return v;
}

int16_t SettingsTree::GetShort(const wchar_t* name, int16_t def) const {
  int i = Find(name, false);
  if (i < 0 || entries_[i].kind != EntryKind::Value || entries_[i].size != 2) return def;
  int16_t v;
  memcpy(&v, entries_[i].data, 2);
  return v;
}

const wchar_t* SettingsTree::GetString(const wchar_t* name, const wchar_t* def) const {
  int i = Find(name, false);
  if (i < 0 || entries_[i].kind != EntryKind::Value) return def;
  const SettingsEntry& e = entries_[i];
  // A value that is not a terminated UTF-16 text reads as empty rather than
  // running past its bytes.
  if (e.size < 2 || e.size % 2 != 0 || e.data[e.size - 1] != 0 || e.data[e.size - 2] != 0) return L"";
  return reinterpret_cast<const wchar_t*>(e.data);
}

void SettingsTree::GetStringInto(const wchar_t* name, const wchar_t* def, wchar_t* field,
                                 size_t capacity) const {
  if (!field || capacity == 0) return;
  const wchar_t* s = GetString(name, def);
  if (!s) s = L"";
  size_t n = std::min(wcslen(s), capacity - 1);
  wmemcpy(field, s, n);
  field[n] = 0;
}

const uint8_t* SettingsTree::GetBinary(const wchar_t* name, uint32_t* size) const {
  if (size) *size = 0;
  int i = Find(name, false);
  if (i < 0 || entries_[i].kind != EntryKind::Value) return nullptr;
  if (size) *size = entries_[i].size;
  static const uint8_t kEmpty = 0;
  return entries_[i].size == 0 ? &kEmpty : entries_[i].data;
}

// Entries are gathered into large writes: a stream that grows by each small
// write can make saving a big tree quadratic.
bool SettingsTree::WriteToStream(IStream* stream) const {
  std::vector<uint8_t> buf;
  buf.reserve(kWriteChunk + 1024);
  auto flush = [&] {
    if (!buf.empty()) stream->Write(buf.data(), static_cast<ULONG>(buf.size()), nullptr);
    buf.clear();
  };
  auto put = [&](const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    buf.insert(buf.end(), b, b + n);
    if (buf.size() >= kWriteChunk) flush();
  };
  auto putU32 = [&](uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    put(b, 4);
  };
  putU32(static_cast<uint32_t>(entries_.size()));
  for (const SettingsEntry& e : entries_) {
    uint32_t nameBytes = static_cast<uint32_t>((wcslen(e.name) + 1) * sizeof(wchar_t));
    putU32(nameBytes);
    put(e.name, nameBytes);
    putU32(static_cast<uint32_t>(e.kind));
    putU32(e.size);
    if (e.size) put(e.data, e.size);
  }
  flush();
  return true;
}

bool SettingsTree::ReadFromStream(IStream* stream) {
  Clear();
  StreamReader in(stream);
  uint32_t count;
  bool ok = in.ReadU32(&count);
  std::vector<uint8_t> big;
  // No reserve(count): a damaged count must not allocate; every entry takes
  // at least 14 bytes of real stream.
  for (uint32_t n = 0; ok && n < count; ++n) {
    uint32_t nameBytes = 0, kind = 0, size = 0;
    ok = in.ReadU32(&nameBytes) && nameBytes >= 2 && nameBytes % 2 == 0 && nameBytes <= kMaxNameBytes;
    if (!ok) break;
    auto* name = reinterpret_cast<wchar_t*>(arena_.Alloc(nameBytes));
    size_t units = nameBytes / 2;
    ok = in.Read(name, nameBytes) && name[units - 1] == 0 && wcslen(name) == units - 1;
    ok = ok && in.ReadU32(&kind) && kind <= 2 && in.ReadU32(&size) && size <= kMaxValueBytes;
    if (!ok) break;
    SettingsEntry e = {name, static_cast<EntryKind>(kind), size, nullptr};
    if (size > kReadChunk) {
      // Claimed sizes are believed only as far as the bytes arrive.
      ok = in.ReadBytes(big, size);
      if (!ok) break;
      uint8_t* d = arena_.Alloc(size);
      memcpy(d, big.data(), size);
      e.data = d;
      std::vector<uint8_t>().swap(big);
    } else if (size) {
      uint8_t* d = arena_.Alloc(size);
      ok = in.Read(d, size);
      e.data = d;
    }
    if (!ok) break;
    entries_.push_back(e);
  }
  if (!ok || !Validate()) {
    Clear();
    return false;
  }
  return true;
}

// A stream this tree wrote nests strictly: every end names the node that is
// open at that point, and begin entries carry no data.
bool SettingsTree::Validate() const {
  std::vector<uint32_t> open;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const SettingsEntry& e = entries_[i];
    if (e.kind == EntryKind::NodeBegin) {
      if (e.size != 0) return false;
      open.push_back(static_cast<uint32_t>(i));
    } else if (e.kind == EntryKind::NodeEnd) {
      if (e.size != 4 || open.empty() || LoadU32(e.data) != open.back()) return false;
      open.pop_back();
    }
  }
  return true;
}

void SettingsTree::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  arena_.Clear();
  path_.clear();
  index_.clear();
  scopeEnd_.clear();
  indexed_ = false;
}

}  // namespace pw
