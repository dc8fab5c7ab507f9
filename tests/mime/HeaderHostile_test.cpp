// Hostile header input: truncations, missing terminators, stray bytes. The
// value decoder gets each input at the very end of a readable page, so a
// read past its end faults.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "account/MailMessage.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "mime/HeaderDate.h"
#include "mime/HeaderWords.h"

using namespace pw;

namespace {

// Bytes placed right before an inaccessible page.
class GuardedBytes {
 public:
  explicit GuardedBytes(const std::string& bytes) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    page_ = si.dwPageSize;
    const size_t dataPages = (bytes.size() + page_ - 1) / page_ + 1;
    size_ = (dataPages + 1) * page_;
    base_ = static_cast<char*>(VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + dataPages * page_, page_, PAGE_NOACCESS, &old);
    data_ = base_ + dataPages * page_ - bytes.size();
    if (!bytes.empty()) memcpy(data_, bytes.data(), bytes.size());
  }
  ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
  const char* data() const { return data_; }

 private:
  size_t page_ = 0, size_ = 0;
  char* base_ = nullptr;
  char* data_ = nullptr;
};

const char kSample[] =
    "Received: from a (b [1.2.3.4])\r\n\tby c; Tue, 5 Jul 2005 10:00:00 +0200\r\n"
    "From: =?iso-8859-1?Q?Jos=E9?= <j@x>\r\n"
    "Subject: =?utf-8?B?Q2Fmw6k=?= =?koi8-r?Q?=F0=D2=C9?= tail\r\n"
    "Date: Tue, 5 Jul 2005 10:00:00 +0200\r\n"
    "Content-Type: multipart/mixed; charset=\"utf-8\"; boundary=\"b\"\r\n\r\n";

}  // namespace

TEST(HeaderHostile, SeededCorpusStaysInBounds) {
  ScopedCoInit com;
  std::mt19937 rng(20051705);
  const std::string sample(kSample);
  const char pieces[] = {'=', '?', '\r', '\n', ' ', '\t', ':', 'Q', 'B', '_', '"', ';', '+', '-', '\0', '\xFF'};
  for (int round = 0; round < 1500; ++round) {
    std::string input;
    switch (round % 3) {
      case 0:  // a truncation
        input = sample.substr(0, rng() % sample.size());
        break;
      case 1: {  // the sample with some bytes replaced by syntax and binary bytes
        input = sample;
        for (int k = rng() % 8; k >= 0; --k) input[rng() % input.size()] = pieces[rng() % sizeof(pieces)];
        input.resize(rng() % input.size());
        break;
      }
      default:  // syntax soup
        for (int k = rng() % 80; k >= 0; --k) input += pieces[rng() % sizeof(pieces)];
    }
    GuardedBytes guarded(input);
    decodeValue(guarded.data(), input.size(), L"utf-8");
    RefPtr<MailMessage> m = MailMessage::Create(L"u");
    parseHeader(*m, guarded.data(), input.size());
    rawFieldValue(*m, L"Subject");
    messageCharset(*m);
    for (const auto& field : m->headerFields) parseDate(field.second.c_str());
  }
}
