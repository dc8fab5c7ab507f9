#include "ui/ListRows.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "base/Module.h"
#include "mime/HeaderFields.h"
#include "ui_ids.h"

namespace pw::ui {

size_t ListRows::Slot(const MailMessage* m) const {
  // Records are at least 8-byte aligned: the low bits carry nothing.
  uint64_t h = reinterpret_cast<uintptr_t>(m) >> 3;
  h *= 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(h >> 20) & (index_.size() - 1);
}

int ListRows::Find(const MailMessage* message) const {
  if (stale_) Reindex();
  if (index_.empty()) return -1;
  for (size_t i = Slot(message);; i = (i + 1) & (index_.size() - 1)) {
    if (index_[i].first == message) return static_cast<int>(index_[i].second);
    if (!index_[i].first) return -1;
  }
}

void ListRows::Insert(const MailMessage* m, uint32_t row) const {
  for (size_t i = Slot(m);; i = (i + 1) & (index_.size() - 1)) {
    if (!index_[i].first || index_[i].first == m) {
      index_[i] = {m, row};
      return;
    }
  }
}

namespace {

uint8_t RowClass(const MailMessage& m) {
  const MessageType t = m.Type();
  return static_cast<uint8_t>((m.HasState(MessageState::New) ? kRowNew : 0) |
                              (t == MessageType::Spam ? kRowSpam : 0) |
                              (t == MessageType::Dangerous ? kRowDangerous : 0));
}

int TypeKey(const MailMessage& m);
uint64_t DateKey(const MailMessage& m);

// Everything the row keeps from its message: its class and its keys.
void ReadRow(ListRowRef& r) {
  const MailMessage& m = *r.message;
  r.counted = RowClass(m);
  r.typeKey = static_cast<uint16_t>(TypeKey(m));
  r.sizeKey = m.size;
  r.dateKey = DateKey(m);
}

}  // namespace

void ListRows::Count(const ListRowRef& r, int sign) {
  for (int b = 0; b < 3; ++b)
    if (r.counted & (1 << b)) counts_[b] += static_cast<size_t>(sign);
}

void ListRows::Recount(size_t i) {
  if (i >= rows_.size()) return;
  ListRowRef& r = rows_[i];
  Count(r, -1);
  ReadRow(r);
  Count(r, 1);
}

void ListRows::RecountAll() {
  counts_[0] = counts_[1] = counts_[2] = 0;
  for (ListRowRef& r : rows_) {
    ReadRow(r);
    Count(r, 1);
  }
}

size_t ListRows::Append(MailMessage& message, MailAccount& account) {
  ListRowRef r;
  r.message = RefPtr<MailMessage>(&message);
  r.account = RefPtr<MailAccount>(&account);
  ReadRow(r);
  Count(r, 1);
  rows_.push_back(std::move(r));
  // Kept at most half full.
  if (stale_ || rows_.size() * 2 > index_.size()) stale_ = true;
  else Insert(&message, static_cast<uint32_t>(rows_.size() - 1));
  return rows_.size() - 1;
}

void ListRows::Remove(size_t i) {
  if (i >= rows_.size()) return;
  Count(rows_[i], -1);
  rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(i));
  stale_ = true;
}

size_t ListRows::RemoveMessages(const std::vector<MailMessage*>& messages) {
  if (messages.empty()) return 0;
  // Rows to go are marked by a null message, then closed up in one pass.
  size_t gone = 0;
  for (MailMessage* m : messages) {
    const int i = Find(m);
    if (i < 0 || !rows_[static_cast<size_t>(i)].message) continue;
    ListRowRef& r = rows_[static_cast<size_t>(i)];
    Count(r, -1);
    r.message = RefPtr<MailMessage>();
    r.account = RefPtr<MailAccount>();
    ++gone;
  }
  if (!gone) return 0;
  rows_.erase(std::remove_if(rows_.begin(), rows_.end(), [](const ListRowRef& r) { return !r.message; }),
              rows_.end());
  stale_ = true;
  return gone;
}

void ListRows::Clear() {
  std::vector<std::pair<const MailMessage*, uint32_t>>().swap(index_);
  std::vector<ListRowRef>().swap(rows_);
  std::vector<ListRowRef>().swap(scratch_);
  std::vector<std::pair<uint64_t, uint32_t>>().swap(numbers_);
  std::vector<std::pair<uint64_t, uint32_t>>().swap(numbers2_);
  std::vector<std::pair<const wchar_t*, uint32_t>>().swap(texts_);
  counts_[0] = counts_[1] = counts_[2] = 0;
  stale_ = false;
}

void ListRows::Reindex() const {
  stale_ = false;
  size_t size = 16;
  while (size < rows_.size() * 2 + 2) size *= 2;
  if (index_.size() != size) index_.assign(size, {nullptr, 0});
  else std::fill(index_.begin(), index_.end(), std::pair<const MailMessage*, uint32_t>(nullptr, 0));
  for (size_t i = 0; i < rows_.size(); ++i) Insert(rows_[i].message.Get(), static_cast<uint32_t>(i));
}

namespace {

// Picture column: unread Normal after read Normal, then by type number.
int TypeKey(const MailMessage& m) {
  const auto t = static_cast<int>(m.Type());
  return t * 2 + (t == 0 && m.HasState(MessageState::New) ? 1 : 0);
}

// The fields in order of significance: compares as the point in time.
uint64_t DateKey(const MailMessage& m) {
  const SYSTEMTIME& d = m.date;
  if (d.wYear == 0) return 0;
  return (uint64_t(d.wYear) << 40) | (uint64_t(d.wMonth) << 36) | (uint64_t(d.wDay) << 30) |
         (uint64_t(d.wHour) << 24) | (uint64_t(d.wMinute) << 17) | (uint64_t(d.wSecond) << 10) | d.wMilliseconds;
}

// A present field sorts before a missing one (null).
const wchar_t* TextKey(const MailMessage& m, const wchar_t* name) { return nextFieldValue(m.headerFields, name); }

int CompareText(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return a ? -1 : b ? 1 : 0;
  return CompareFolded(a, b);
}

// Puts the rows in the order of the sorted items' row numbers. They move
// into empty rows kept from the last sort, and the emptied rows are kept
// for the next: no row is made or destroyed.
template <typename Item>
void MoveInOrder(std::vector<ListRowRef>& rows, std::vector<ListRowRef>& sorted, const std::vector<Item>& items) {
  sorted.resize(rows.size());
  for (size_t k = 0; k < items.size(); ++k) sorted[k] = std::move(rows[items[k].second]);
  rows.swap(sorted);
}

// Keys are made once per sort into a buffer kept between sorts, sorted
// with their row numbers, and the rows are moved into that order.
template <typename Key, typename Make, typename Less>
void SortBy(std::vector<ListRowRef>& rows, std::vector<ListRowRef>& sorted, std::vector<std::pair<Key, uint32_t>>& items,
            bool ascending, Make make, Less less) {
  using Item = std::pair<Key, uint32_t>;
  items.clear();
  items.reserve(rows.size());
  const size_t n = rows.size();
  for (size_t i = 0; i < n; ++i) {
    // Each message and its fields are allocations of their own: fetched a
    // few rows ahead, the waits for them overlap.
    if (i + 16 < n) __builtin_prefetch(&rows[i + 16].message->headerFields);
    if (i + 8 < n) rows[i + 8].message->headerFields.Prefetch();
    items.emplace_back(make(*rows[i].message), static_cast<uint32_t>(i));
  }
  if (ascending)
    std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) { return less(a.first, b.first); });
  else
    std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) { return less(b.first, a.first); });
  MoveInOrder(rows, sorted, items);
}

// Stable LSD radix sort of (key, row) pairs by key, a byte per pass, over
// the bytes in which the keys differ at all: a handful of linear passes
// where a comparison sort makes log2(n) of them.
void RadixSort(std::vector<std::pair<uint64_t, uint32_t>>& items, std::vector<std::pair<uint64_t, uint32_t>>& other) {
  // One reading counts every byte position; positions where all keys agree
  // need no pass.
  size_t count[8][256] = {};
  for (const auto& it : items)
    for (int b = 0; b < 8; ++b) ++count[b][(it.first >> (8 * b)) & 0xFF];
  other.resize(items.size());
  for (int b = 0; b < 8; ++b) {
    size_t* c = count[b];
    if (c[(items.front().first >> (8 * b)) & 0xFF] == items.size()) continue;
    size_t at = 0;
    for (int v = 0; v < 256; ++v) at += std::exchange(c[v], at);
    const int shift = 8 * b;
    for (const auto& it : items) other[c[(it.first >> shift) & 0xFF]++] = it;
    items.swap(other);
  }
}

// Numeric columns: the keys kept in the rows, radix sorted. Descending
// sorts the complement, so equal keys still keep their order.
template <typename Key>
void SortByNumber(std::vector<ListRowRef>& rows, std::vector<ListRowRef>& sorted,
                  std::vector<std::pair<uint64_t, uint32_t>>& items, std::vector<std::pair<uint64_t, uint32_t>>& other,
                  bool ascending, Key key) {
  items.resize(rows.size());
  const uint64_t flip = ascending ? 0 : ~uint64_t{0};
  for (size_t i = 0; i < rows.size(); ++i) items[i] = {key(rows[i]) ^ flip, static_cast<uint32_t>(i)};
  if (!items.empty()) RadixSort(items, other);
  MoveInOrder(rows, sorted, items);
}

// Replaces each of `follow` (rows before the sort) by its row after it,
// read off the sorted items' row numbers: no message-to-row map needed.
template <typename Item>
void Follow(const std::vector<Item>& items, std::vector<int>* follow) {
  if (!follow || follow->empty()) return;
  std::vector<int>& f = *follow;
  if (f.size() > 64) {
    std::vector<int> to(items.size(), -1);
    for (size_t k = 0; k < items.size(); ++k) to[items[k].second] = static_cast<int>(k);
    for (int& i : f) i = i >= 0 && static_cast<size_t>(i) < to.size() ? to[static_cast<size_t>(i)] : -1;
    return;
  }
  // A few rows (the focused and the selected): one pass over the order,
  // looking each row number up among the sorted few.
  std::vector<std::pair<uint32_t, size_t>> wanted;
  for (size_t j = 0; j < f.size(); ++j)
    if (f[j] >= 0) wanted.emplace_back(static_cast<uint32_t>(f[j]), j);
  std::sort(wanted.begin(), wanted.end());
  for (int& i : f) i = -1;
  if (wanted.empty()) return;
  const uint32_t lo = wanted.front().first, hi = wanted.back().first;
  for (size_t k = 0; k < items.size(); ++k) {
    const uint32_t was = items[k].second;
    if (was < lo || was > hi) continue;
    auto it = std::lower_bound(wanted.begin(), wanted.end(), std::make_pair(was, size_t{0}));
    for (; it != wanted.end() && it->first == was; ++it) f[it->second] = static_cast<int>(k);
  }
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

}  // namespace

int CompareForColumn(int column, const MailMessage& a, const MailMessage& b) {
  switch (column) {
    case 0: return Sign(TypeKey(a), TypeKey(b));
    case 1: return CompareText(TextKey(a, L"From"), TextKey(b, L"From"));
    case 2: return CompareText(TextKey(a, L"Subject"), TextKey(b, L"Subject"));
    case 3: return Sign(DateKey(a), DateKey(b));
    case 4: return Sign(a.size, b.size);
    default: return 0;
  }
}

void ListRows::Sort(int column, int type, std::vector<int>* follow) {
  const bool asc = type == 1;
  bool byText = false;
  switch (column) {
    case 0: SortByNumber(rows_, scratch_, numbers_, numbers2_, asc, [](const ListRowRef& r) { return uint64_t(r.typeKey); }); break;
    case 1:
    case 2: {
      const wchar_t* name = column == 1 ? L"From" : L"Subject";
      SortBy<const wchar_t*>(rows_, scratch_, texts_, asc, [name](const MailMessage& m) { return TextKey(m, name); },
                             [](const wchar_t* a, const wchar_t* b) { return CompareText(a, b) < 0; });
      byText = true;
      break;
    }
    case 3: SortByNumber(rows_, scratch_, numbers_, numbers2_, asc, [](const ListRowRef& r) { return r.dateKey; }); break;
    case 4: SortByNumber(rows_, scratch_, numbers_, numbers2_, asc, [](const ListRowRef& r) { return uint64_t(r.sizeKey); }); break;
    default:  // every pair is equal: a stable sort keeps the order
      if (follow)
        for (int& i : *follow)
          if (i < 0 || static_cast<size_t>(i) >= rows_.size()) i = -1;
      return;
  }
  if (byText) Follow(texts_, follow);
  else Follow(numbers_, follow);
  stale_ = true;
}

namespace {

// Order of two messages as the sort leaves them: <0 when a goes first.
int Directed(int column, int type, const MailMessage& a, const MailMessage& b) {
  return type == 1 ? CompareForColumn(column, a, b) : CompareForColumn(column, b, a);
}

}  // namespace

bool ListRows::InOrder(size_t i, int column, int type) const {
  if (i >= rows_.size()) return true;
  const MailMessage& m = *rows_[i].message;
  if (i > 0 && Directed(column, type, *rows_[i - 1].message, m) > 0) return false;
  if (i + 1 < rows_.size() && Directed(column, type, m, *rows_[i + 1].message) > 0) return false;
  return true;
}

size_t ListRows::Reposition(size_t p, int column, int type) {
  if (p >= rows_.size()) return p;
  const MailMessage& m = *rows_[p].message;
  // The other rows, in order, as if this one were taken out.
  auto other = [&](size_t j) -> const MailMessage& { return *rows_[j < p ? j : j + 1].message; };
  const size_t n = rows_.size() - 1;
  size_t lo = 0, hi = n;
  while (lo < hi) {  // first row not before m
    const size_t mid = lo + (hi - lo) / 2;
    if (Directed(column, type, other(mid), m) < 0) lo = mid + 1;
    else hi = mid;
  }
  size_t end = lo, top = n;
  while (end < top) {  // first row after m
    const size_t mid = end + (top - end) / 2;
    if (Directed(column, type, m, other(mid)) < 0) top = mid;
    else end = mid + 1;
  }
  // Among equal keys a stable sort keeps the earlier order.
  const size_t q = std::min(std::max(p, lo), end);
  if (q == p) return p;
  const auto b = rows_.begin();
  if (q < p) std::rotate(b + static_cast<ptrdiff_t>(q), b + static_cast<ptrdiff_t>(p), b + static_cast<ptrdiff_t>(p + 1));
  else std::rotate(b + static_cast<ptrdiff_t>(p), b + static_cast<ptrdiff_t>(p + 1), b + static_cast<ptrdiff_t>(q + 1));
  if (!stale_)
    for (size_t j = std::min(p, q); j <= std::max(p, q); ++j) Insert(rows_[j].message.Get(), static_cast<uint32_t>(j));
  return q;
}

int CompareFolded(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    wchar_t x = *a, y = *b;
    if (x != y) {
      x = x < 128 ? (x >= L'A' && x <= L'Z' ? wchar_t(x + 32) : x) : towlower(x);
      y = y < 128 ? (y >= L'A' && y <= L'Z' ? wchar_t(y + 32) : y) : towlower(y);
      if (x != y) return x < y ? -1 : 1;
    }
    if (!x) return 0;
  }
}

std::wstring FormatSize(uint32_t size) {
  wchar_t b[32];
  if (size < 1024) swprintf(b, 32, L"%u", size);
  else if (size < 1048576) swprintf(b, 32, L"%0.2fK", size / 1024.0);
  else swprintf(b, 32, L"%0.2fM", size / 1048576.0);
  return b;
}

std::wstring FieldCell(const MailMessage& m, const wchar_t* name, bool refreshed) {
  if (const wchar_t* v = nextFieldValue(m.headerFields, name)) return v;
  if (!m.rawHeader.IsSet()) return LoadStr(IDS_NOT_LOADED);
  return refreshed ? std::wstring() : LoadStr(IDS_EMPTY_FIELD);
}

std::wstring FormatDate(const MailMessage& m, const wchar_t* dateFormat, bool refreshed) {
  const wchar_t* raw = nextFieldValue(m.headerFields, L"DATE");
  if (!raw) return LoadStr(refreshed ? IDS_NOT_LOADED : IDS_EMPTY_FIELD);
  SYSTEMTIME now;
  GetLocalTime(&now);
  const SYSTEMTIME& d = m.date;
  wchar_t date[128] = L"", time[64] = L"";
  if (!GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &d, nullptr, time, 64)) return raw;
  if (d.wYear == now.wYear && d.wMonth == now.wMonth && d.wDay == now.wDay) return time;
  if (!GetDateFormatW(LOCALE_USER_DEFAULT, 0, &d, dateFormat && *dateFormat ? dateFormat : nullptr, date, 128))
    return raw;
  return std::wstring(date) + L" " + time;
}

}  // namespace pw::ui
