#include "core/SettingsTree.h"

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

std::wstring Fold(const wchar_t* s) {
  std::wstring key(s);
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

bool ReadExact(IStream* stream, void* out, ULONG size) {
  ULONG got = 0;
  HRESULT hr = stream->Read(out, size, &got);
  return SUCCEEDED(hr) && got == size;
}

bool ReadU32(IStream* stream, uint32_t* value) {
  uint8_t b[4];
  if (!ReadExact(stream, b, 4)) return false;
  *value = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
  return true;
}

// Grows the buffer only as bytes actually arrive, so a huge size claimed by a
// damaged stream costs no more memory than the stream really holds.
bool ReadBytes(IStream* stream, std::vector<uint8_t>& out, uint32_t size) {
  out.clear();
  while (out.size() < size) {
    uint32_t n = std::min<uint32_t>(kReadChunk, size - static_cast<uint32_t>(out.size()));
    size_t at = out.size();
    out.resize(at + n);
    if (!ReadExact(stream, out.data() + at, n)) return false;
  }
  return true;
}

void WriteU32(IStream* stream, uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  stream->Write(b, 4, nullptr);
}

}  // namespace

void SettingsTree::Append(const wchar_t* name, EntryKind kind, const void* data, uint32_t size) {
  SettingsEntry e;
  e.name = name ? name : L"";
  e.kind = kind;
  if (size) e.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  entries_.push_back(std::move(e));
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
  std::wstring name = entries_[begin].name;
  Append(name.c_str(), EntryKind::NodeEnd, idx, 4);
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
    Positions& p = index_[Fold(e.name.c_str())];
    p.any.push_back(static_cast<int32_t>(i));
    if (e.kind == EntryKind::NodeBegin) p.nodes.push_back(static_cast<int32_t>(i));
    if (e.kind == EntryKind::NodeEnd && e.data.size() == 4) {
      uint32_t b;
      memcpy(&b, e.data.data(), 4);
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
  auto it = index_.find(Fold(name));
  if (it == index_.end()) return -1;
  int32_t b = path_.empty() ? -1 : path_.back();
  int32_t end = b < 0 ? static_cast<int32_t>(entries_.size()) : scopeEnd_[b];
  const std::vector<int32_t>& list = nodesOnly ? it->second.nodes : it->second.any;
  for (auto p = std::upper_bound(list.begin(), list.end(), b); p != list.end() && *p < end; ++p) {
    if (StrCmpIW(entries_[*p].name.c_str(), name) == 0) return *p;
  }
  return -1;
}

int SettingsTree::FindLinear(const wchar_t* name, bool nodesOnly) const {
  int32_t b = path_.empty() ? -1 : path_.back();
  for (size_t i = static_cast<size_t>(b + 1); i < entries_.size(); ++i) {
    const SettingsEntry& e = entries_[i];
    if (b >= 0 && e.kind == EntryKind::NodeEnd && e.data.size() == 4) {
      uint32_t d;
      memcpy(&d, e.data.data(), 4);
      if (d == static_cast<uint32_t>(b)) return -1;
    }
    if (StrCmpIW(e.name.c_str(), name) != 0) continue;
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
  if (i < 0 || entries_[i].kind != EntryKind::Value || entries_[i].data.size() != 4) return def;
  int32_t v;
  memcpy(&v, entries_[i].data.data(), 4);
  return v;
}

int16_t SettingsTree::GetShort(const wchar_t* name, int16_t def) const {
  int i = Find(name, false);
  if (i < 0 || entries_[i].kind != EntryKind::Value || entries_[i].data.size() != 2) return def;
  int16_t v;
  memcpy(&v, entries_[i].data.data(), 2);
  return v;
}

const wchar_t* SettingsTree::GetString(const wchar_t* name, const wchar_t* def) const {
  int i = Find(name, false);
  if (i < 0 || entries_[i].kind != EntryKind::Value) return def;
  const std::vector<uint8_t>& d = entries_[i].data;
  // A value that is not a terminated UTF-16 text reads as empty rather than
  // running past its bytes.
  if (d.size() < 2 || d.size() % 2 != 0 || d[d.size() - 1] != 0 || d[d.size() - 2] != 0) return L"";
  return reinterpret_cast<const wchar_t*>(d.data());
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
  if (size) *size = static_cast<uint32_t>(entries_[i].data.size());
  static const uint8_t kEmpty = 0;
  return entries_[i].data.empty() ? &kEmpty : entries_[i].data.data();
}

bool SettingsTree::WriteToStream(IStream* stream) const {
  WriteU32(stream, static_cast<uint32_t>(entries_.size()));
  for (const SettingsEntry& e : entries_) {
    uint32_t nameBytes = static_cast<uint32_t>((e.name.size() + 1) * sizeof(wchar_t));
    WriteU32(stream, nameBytes);
    stream->Write(e.name.c_str(), nameBytes, nullptr);
    WriteU32(stream, static_cast<uint32_t>(e.kind));
    WriteU32(stream, static_cast<uint32_t>(e.data.size()));
    if (!e.data.empty()) stream->Write(e.data.data(), static_cast<ULONG>(e.data.size()), nullptr);
  }
  return true;
}

bool SettingsTree::ReadFromStream(IStream* stream) {
  Clear();
  uint32_t count;
  bool ok = ReadU32(stream, &count);
  std::vector<uint8_t> buf;
  // No reserve(count): a damaged count must not allocate; every entry takes
  // at least 14 bytes of real stream.
  for (uint32_t n = 0; ok && n < count; ++n) {
    uint32_t nameBytes = 0, kind = 0, size = 0;
    ok = ReadU32(stream, &nameBytes) && nameBytes >= 2 && nameBytes % 2 == 0 &&
         nameBytes <= kMaxNameBytes && ReadBytes(stream, buf, nameBytes);
    if (!ok) break;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(buf.data());
    size_t units = nameBytes / 2;
    ok = text[units - 1] == 0 && wcslen(text) == units - 1;
    if (!ok) break;
    SettingsEntry e;
    e.name.assign(text, units - 1);
    ok = ReadU32(stream, &kind) && kind <= 2 && ReadU32(stream, &size) && size <= kMaxValueBytes &&
         ReadBytes(stream, e.data, size);
    if (!ok) break;
    e.kind = static_cast<EntryKind>(kind);
    entries_.push_back(std::move(e));
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
      if (!e.data.empty()) return false;
      open.push_back(static_cast<uint32_t>(i));
    } else if (e.kind == EntryKind::NodeEnd) {
      if (e.data.size() != 4 || open.empty()) return false;
      uint32_t b;
      memcpy(&b, e.data.data(), 4);
      if (b != open.back()) return false;
      open.pop_back();
    }
  }
  return true;
}

void SettingsTree::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  path_.clear();
  index_.clear();
  scopeEnd_.clear();
  indexed_ = false;
}

}  // namespace pw
