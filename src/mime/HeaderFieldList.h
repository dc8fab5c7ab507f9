// The decoded fields of a header block, in header order. All names and
// values live in one buffer, each NUL-terminated, so a header of thirty
// fields costs a few allocations instead of sixty strings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/GrowBuffer.h"

namespace pw {

// A name or value: a view of the list's buffer that is NUL-terminated.
class FieldText : public std::wstring_view {
 public:
  FieldText() = default;
  explicit FieldText(std::wstring_view text) : std::wstring_view(text) {}
  const wchar_t* c_str() const { return data(); }
  operator std::wstring() const { return std::wstring(data(), size()); }
};

struct HeaderField {
  FieldText first;   // the name, exactly as written
  FieldText second;  // the decoded value
};

class HeaderFieldList {
 public:
  class Iterator {
   public:
    Iterator(const HeaderFieldList* list, size_t i) : list_(list), i_(i) {}
    HeaderField operator*() const { return (*list_)[i_]; }
    Iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return i_ != other.i_; }
    bool operator==(const Iterator& other) const { return i_ == other.i_; }

   private:
    const HeaderFieldList* list_;
    size_t i_;
  };

  HeaderFieldList() = default;
  HeaderFieldList(const HeaderFieldList& other) : entries_(other.entries_), text_(other.text_) {}
  HeaderFieldList& operator=(const HeaderFieldList& other) {
    if (this != &other) {
      entries_ = other.entries_;
      text_ = other.text_;
    }
    return *this;
  }
  HeaderFieldList(HeaderFieldList&&) noexcept = default;
  HeaderFieldList& operator=(HeaderFieldList&&) noexcept = default;

  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void clear() {
    entries_.clear();
    text_.clear();
  }
  // Room for `fields` fields of `units` UTF-16 units in all. An empty list
  // takes both in one allocation (one per message header).
  void reserve(size_t fields, size_t units) {
    units += 2 * fields;  // the NULs
    if (entries_.empty() && text_.empty()) {
      const size_t entryBytes = fields * sizeof(Entry);
      block_.reset(new unsigned char[entryBytes + units * sizeof(wchar_t)]);
      entries_.Borrow(reinterpret_cast<Entry*>(block_.get()), fields);
      text_.Borrow(reinterpret_cast<wchar_t*>(block_.get() + entryBytes), units);
      return;
    }
    entries_.reserve(fields);
    text_.reserve(units);
  }
  HeaderField operator[](size_t i) const {
    const Entry& e = entries_[i];
    return {FieldText(std::wstring_view(text_.data() + e.name, e.nameLength)),
            FieldText(std::wstring_view(text_.data() + e.value, e.valueLength))};
  }
  // Asks the processor to fetch the list's first entries and text ahead of
  // a read (a loop over many messages' lists).
  void Prefetch() const {
    if (entries_.empty()) return;
    __builtin_prefetch(entries_.data());
    __builtin_prefetch(text_.data());
    __builtin_prefetch(text_.data() + 32);
  }
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, entries_.size()); }

  void push_back(std::wstring_view name, std::wstring_view value) {
    emplace_back([&](WideBuffer& out) { out += name; }, [&](WideBuffer& out) { out += value; });
  }
  // Adds a field whose name and value the two callables append straight to
  // the list's buffer (a WideBuffer&), saving a copy through scratch strings.
  template <typename WriteName, typename WriteValue>
  void emplace_back(WriteName&& writeName, WriteValue&& writeValue) {
    Entry e;
    e.name = static_cast<uint32_t>(text_.size());
    writeName(text_);
    e.nameLength = static_cast<uint32_t>(text_.size() - e.name);
    text_.push_back(L'\0');
    e.value = static_cast<uint32_t>(text_.size());
    writeValue(text_);
    e.valueLength = static_cast<uint32_t>(text_.size() - e.value);
    text_.push_back(L'\0');
    entries_.push_back(e);
  }

 private:
  struct Entry {
    uint32_t name, nameLength, value, valueLength;
  };
  // Declared first: the two buffers may use it, and go before it.
  std::unique_ptr<unsigned char[]> block_;
  GrowBuffer<Entry> entries_;
  WideBuffer text_;
};

}  // namespace pw
