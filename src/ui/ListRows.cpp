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

size_t ListRows::Append(MailMessage& message, MailAccount& account) {
  ListRowRef r;
  r.message = RefPtr<MailMessage>(&message);
  r.account = RefPtr<MailAccount>(&account);
  rows_.push_back(std::move(r));
  // Kept at most half full.
  if (stale_ || rows_.size() * 2 > index_.size()) stale_ = true;
  else Insert(&message, static_cast<uint32_t>(rows_.size() - 1));
  return rows_.size() - 1;
}

void ListRows::Remove(size_t i) {
  if (i >= rows_.size()) return;
  rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(i));
  stale_ = true;
}

void ListRows::Clear() {
  std::vector<std::pair<const MailMessage*, uint32_t>>().swap(index_);
  std::vector<ListRowRef>().swap(rows_);
  std::vector<ListRowRef>().swap(scratch_);
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

template <typename Key, typename Make, typename Cmp>
void SortBy(std::vector<ListRowRef>& rows, std::vector<ListRowRef>& sorted, bool ascending, Make make, Cmp cmp) {
  struct Item {
    Key key;
    uint32_t row;
  };
  std::vector<Item> items;
  items.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) items.push_back({make(*rows[i].message), static_cast<uint32_t>(i)});
  if (ascending)
    std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) { return cmp(a.key, b.key) < 0; });
  else
    std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) { return cmp(b.key, a.key) < 0; });
  sorted.clear();
  sorted.reserve(rows.size());
  for (const Item& it : items) sorted.push_back(std::move(rows[it.row]));
  rows.swap(sorted);
  sorted.clear();
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

void ListRows::Sort(int column, int type) {
  const bool asc = type == 1;
  switch (column) {
    case 0: SortBy<int>(rows_, scratch_, asc, TypeKey, [](int a, int b) { return Sign(a, b); }); break;
    case 1:
    case 2: {
      const wchar_t* name = column == 1 ? L"From" : L"Subject";
      SortBy<const wchar_t*>(rows_, scratch_, asc, [name](const MailMessage& m) { return TextKey(m, name); }, CompareText);
      break;
    }
    case 3: SortBy<uint64_t>(rows_, scratch_, asc, DateKey, [](uint64_t a, uint64_t b) { return Sign(a, b); }); break;
    case 4:
      SortBy<uint32_t>(rows_, scratch_, asc, [](const MailMessage& m) { return m.size; },
                       [](uint32_t a, uint32_t b) { return Sign(a, b); });
      break;
    default: return;  // every pair is equal: a stable sort keeps the order
  }
  stale_ = true;
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
