// A flat, ordered list of named entries in which nodes are marked by a begin
// and an end entry. Writers append; readers move an open-node path over the
// list and look names up case-insensitively, first match wins, nested nodes
// included. Every persistent record reads and writes itself through it.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pw {

enum class EntryKind : uint32_t { NodeBegin = 0, NodeEnd = 1, Value = 2 };

// Names and data live in the tree's arena: pointers stay valid as long as
// the tree, whatever is appended later.
struct SettingsEntry {
  const wchar_t* name;   // zero-terminated
  EntryKind kind;
  uint32_t size;         // bytes of data; NodeEnd: 4
  const uint8_t* data;   // null when size is 0; NodeEnd: index of its NodeBegin

  std::wstring_view Name() const { return {name, wcslen(name)}; }
  std::vector<uint8_t> Bytes() const { return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>(); }
};

// Bump allocator in blocks that never move.
class SettingsArena {
 public:
  uint8_t* Alloc(size_t size);
  void Clear();

 private:
  std::vector<std::unique_ptr<uint8_t[]>> blocks_;
  std::vector<std::unique_ptr<uint8_t[]>> large_;
  size_t used_ = 0, capacity_ = 0;
};

class SettingsTree {
 public:
  SettingsTree() = default;
  SettingsTree(const SettingsTree&) = delete;
  SettingsTree& operator=(const SettingsTree&) = delete;

  // Writing (append-only).
  void CreateNode(const wchar_t* name);
  bool CloseNode();
  void SetInt(const wchar_t* name, int32_t value);
  void SetShort(const wchar_t* name, int16_t value);
  void SetString(const wchar_t* name, const wchar_t* text);
  void SetBinary(const wchar_t* name, const void* data, uint32_t size);

  // Reading.
  bool EnterNode(const wchar_t* name);
  bool LeaveNode();
  int32_t GetInt(const wchar_t* name, int32_t def) const;
  int16_t GetShort(const wchar_t* name, int16_t def) const;
  const wchar_t* GetString(const wchar_t* name, const wchar_t* def) const;
  const uint8_t* GetBinary(const wchar_t* name, uint32_t* size = nullptr) const;
  // Copies a string value into a fixed field of `capacity` units, cut to fit.
  void GetStringInto(const wchar_t* name, const wchar_t* def, wchar_t* field, size_t capacity) const;

  // Stream form: u32 count, then per entry u32 name bytes, name, u32 kind,
  // u32 size, data. WriteToStream always succeeds. ReadFromStream rejects a
  // damaged or truncated stream as a whole (returns false, tree left empty).
  bool WriteToStream(IStream* stream) const;
  bool ReadFromStream(IStream* stream);
  void Clear();

  const std::vector<SettingsEntry>& Entries() const { return entries_; }
  size_t Depth() const { return path_.size(); }

  // The lookup rule by a plain walk, without the index. Kept for tests.
  int FindLinear(const wchar_t* name, bool nodesOnly) const;

 private:
  int Find(const wchar_t* name, bool nodesOnly) const;
  void Append(const wchar_t* name, EntryKind kind, const void* data, uint32_t size);
  void BuildIndex() const;
  bool Validate() const;

  const wchar_t* CopyName(const wchar_t* name, size_t units);

  std::vector<SettingsEntry> entries_;
  std::vector<int32_t> path_;
  SettingsArena arena_;

  // Lookup index, built on the first lookup after the list changed: for each
  // hash of a case-folded name the ascending positions of its entries, and
  // for each NodeBegin the position that ends its scope.
  mutable bool indexed_ = false;
  mutable std::unordered_map<uint64_t, std::vector<int32_t>> index_;
  mutable std::vector<int32_t> scopeEnd_;
};

}  // namespace pw
