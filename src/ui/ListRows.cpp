#include "ui/ListRows.h"

#include <algorithm>
#include <cstdio>

#include "base/Module.h"
#include "mime/HeaderFields.h"
#include "ui_ids.h"

namespace pw::ui {

int ListRows::Find(const MailMessage* message) const {
  auto it = index_.find(message);
  return it == index_.end() ? -1 : static_cast<int>(it->second);
}

size_t ListRows::Append(MailMessage& message, MailAccount& account) {
  ListRowRef r;
  r.message = RefPtr<MailMessage>(&message);
  r.account = RefPtr<MailAccount>(&account);
  rows_.push_back(std::move(r));
  index_[&message] = static_cast<uint32_t>(rows_.size() - 1);
  return rows_.size() - 1;
}

void ListRows::Remove(size_t i) {
  if (i >= rows_.size()) return;
  index_.erase(rows_[i].message.Get());
  rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(i));
  Reindex(i);
}

void ListRows::Clear() {
  index_.clear();
  std::vector<ListRowRef>().swap(rows_);
}

void ListRows::Reindex(size_t from) {
  for (size_t i = from; i < rows_.size(); ++i) index_[rows_[i].message.Get()] = static_cast<uint32_t>(i);
}

namespace {

// Picture column: unread Normal after read Normal, then by type number.
int TypeKey(const MailMessage& m) {
  const auto t = static_cast<int>(m.Type());
  return t * 2 + (t == 0 && m.HasState(MessageState::New) ? 1 : 0);
}

uint64_t DateKey(const MailMessage& m) {
  if (m.date.wYear == 0) return 0;
  FILETIME ft;
  if (!SystemTimeToFileTime(&m.date, &ft)) return 0;
  return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// A present field sorts before a missing one; letter case is ignored.
struct TextKey {
  bool present = false;
  std::wstring folded;
};

TextKey MakeTextKey(const MailMessage& m, const wchar_t* name) {
  TextKey k;
  const wchar_t* v = nextFieldValue(m.headerFields, name);
  if (!v) return k;
  k.present = true;
  k.folded = v;
  if (!k.folded.empty()) CharLowerBuffW(k.folded.data(), static_cast<DWORD>(k.folded.size()));
  return k;
}

int CompareText(const TextKey& a, const TextKey& b) {
  if (a.present != b.present) return a.present ? -1 : 1;
  if (!a.present) return 0;
  const int c = a.folded.compare(b.folded);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

template <typename Key, typename Make, typename Cmp>
void SortBy(std::vector<ListRowRef>& rows, bool ascending, Make make, Cmp cmp) {
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
  std::vector<ListRowRef> sorted;
  sorted.reserve(rows.size());
  for (const Item& it : items) sorted.push_back(std::move(rows[it.row]));
  rows.swap(sorted);
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

}  // namespace

int CompareForColumn(int column, const MailMessage& a, const MailMessage& b) {
  switch (column) {
    case 0: return Sign(TypeKey(a), TypeKey(b));
    case 1: return CompareText(MakeTextKey(a, L"From"), MakeTextKey(b, L"From"));
    case 2: return CompareText(MakeTextKey(a, L"Subject"), MakeTextKey(b, L"Subject"));
    case 3: return Sign(DateKey(a), DateKey(b));
    case 4: return Sign(a.size, b.size);
    default: return 0;
  }
}

void ListRows::Sort(int column, int type) {
  const bool asc = type == 1;
  switch (column) {
    case 0: SortBy<int>(rows_, asc, TypeKey, [](int a, int b) { return Sign(a, b); }); break;
    case 1:
    case 2: {
      const wchar_t* name = column == 1 ? L"From" : L"Subject";
      SortBy<TextKey>(rows_, asc, [name](const MailMessage& m) { return MakeTextKey(m, name); }, CompareText);
      break;
    }
    case 3: SortBy<uint64_t>(rows_, asc, DateKey, [](uint64_t a, uint64_t b) { return Sign(a, b); }); break;
    case 4:
      SortBy<uint32_t>(rows_, asc, [](const MailMessage& m) { return m.size; },
                       [](uint32_t a, uint32_t b) { return Sign(a, b); });
      break;
    default: return;  // every pair is equal: a stable sort keeps the order
  }
  Reindex(0);
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
