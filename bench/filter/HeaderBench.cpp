// Header and MIME decoding under load, run by hand under Wine:
//  1. parse and fully decode (every field, the date) 10,000 generated header
//     blocks (15-40 fields, folded lines, encoded words in several
//     charsets), against merely copying the same bytes;
//  2. split a multipart message of 200 parts and decode every leaf, at
//     2 MiB and at 20 MiB, to show that the work grows linearly.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/BenchSupport.h"
#include "core/Scoped.h"
#include "filter/HeaderFields.h"
#include "filter/MailMessage.h"
#include "filter/MimePart.h"

using namespace pw;

namespace {

const char* const kWords[] = {
    "=?iso-8859-1?Q?Caf=E9_au_lait?=", "=?utf-8?B?0J/RgNC40LLQtdGC?=", "=?koi8-r?Q?=F0=D2=C9?=",
    "=?windows-1251?B?z/Do4uXy?=",     "=?shift_jis?B?gqCCoA==?=",     "plain words", "more text here"};
const char* const kNames[] = {"Received", "X-Mailer", "Subject", "From", "To", "Cc", "X-Spam-Status", "Message-ID"};

std::string MakeHeader(std::mt19937& rng) {
  std::string h;
  const int fields = 15 + static_cast<int>(rng() % 26);
  for (int f = 0; f < fields; ++f) {
    h += kNames[rng() % 8];
    h += ": ";
    for (int w = 1 + static_cast<int>(rng() % 4); w > 0; --w) {
      h += kWords[rng() % 7];
      h += rng() % 3 == 0 ? "\r\n\t" : " ";
    }
    h += "end\r\n";
  }
  h += "Date: Tue, 5 Jul 2005 10:00:00 +0200\r\n";
  h += "Content-Type: text/plain; charset=utf-8\r\n\r\n";
  return h;
}

std::string MakeMultipart(size_t total) {
  const size_t each = total / 200;
  std::string m = "Content-Type: multipart/mixed; boundary=\"sep\"\r\n\r\n";
  const std::string line = "Quoted=20printable text with a soft break=\r\n and more words.\r\n";
  for (int p = 0; p < 200; ++p) {
    m += "--sep\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    for (size_t n = 0; n < each; n += line.size()) m += line;
  }
  m += "--sep--\r\n";
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  // An optional count of header blocks (default 10,000) and 0 to skip the multipart runs.
  const int count = argc > 1 ? atoi(argv[1]) : 10000;
  const bool multipart = argc > 2 ? atoi(argv[2]) != 0 : true;
  ScopedCoInit com;
  std::mt19937 rng(7);
  std::vector<std::string> headers;
  size_t bytes = 0;
  for (int i = 0; i < count; ++i) {
    headers.push_back(MakeHeader(rng));
    bytes += headers.back().size();
  }
  RefPtr<MailMessage> m = MailMessage::Create(L"bench");
  double t0 = ThreadCpu();
  size_t fields = 0;
  for (const auto& h : headers) {
    parseHeader(*m, h.data(), h.size());
    fields += m->headerFields.size();
  }
  const double parse = ThreadCpu() - t0;
  t0 = ThreadCpu();
  std::vector<char> copy;
  for (const auto& h : headers) copy.assign(h.begin(), h.end());
  const double copying = ThreadCpu() - t0;
  printf("headers: %zu blocks, %zu bytes, %zu fields: %.2f us per header to parse and decode, "
         "%.3f us per header to copy\n",
         headers.size(), bytes, fields, parse * 1e6 / headers.size(), copying * 1e6 / headers.size());

  fflush(stdout);
  if (!multipart) return 0;
  for (size_t size : {size_t(2) << 20, size_t(20) << 20}) {
    const std::string text = MakeMultipart(size);
    RefPtr<MailMessage> whole = MailMessage::Create(L"whole");
    const std::string header = text.substr(0, text.find("\r\n\r\n") + 4);
    parseHeader(*whole, header.data(), header.size());
    t0 = ThreadCpu();
    parseMessage(*whole, text.data(), text.size());
    size_t chars = 0;
    for (int i = 0;; ++i) {
      auto leaf = leafText(*whole, i);
      if (!leaf) break;
      chars += leaf->size();
    }
    const double took = ThreadCpu() - t0;
    printf("multipart %5.1f MiB, %zu parts: %.3f s to split and decode (%zu characters), %.1f ns per byte\n",
           text.size() / 1048576.0, whole->parts.size(), took, chars, took * 1e9 / text.size());
  }
  return 0;
}
