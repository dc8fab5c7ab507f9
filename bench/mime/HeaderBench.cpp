// Header and MIME decoding under load, run by hand under Wine:
//  1. parse and fully decode (every field, the date) 10,000 generated header
//     blocks (15-40 fields, folded lines, encoded words in several
//     charsets), against merely copying the same bytes, and each stage of
//     that work by itself;
//  2. split a multipart message of 200 parts and decode every leaf, at
//     2 MiB and at 20 MiB, to show that the work grows linearly;
//  3. split alone a multipart message of 1,000 parts at 1 MiB and 10 MiB:
//     the time per byte must stay the same.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "common/BenchSupport.h"
#include "mime/Charset.h"
#include "mime/HeaderDate.h"
#include "mime/HeaderWords.h"

using namespace pw;

namespace {

// Encoded words with the bytes they decode to and their charset; the plain
// words are converted with the block's own charset (utf-8).
struct Word {
  const char* text;
  const char* bytes;
  const wchar_t* charset;
};
const Word kWords[] = {
    {"=?iso-8859-1?Q?Caf=E9_au_lait?=", "Caf\xE9 au lait", L"iso-8859-1"},
    {"=?utf-8?B?0J/RgNC40LLQtdGC?=", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", L"utf-8"},
    {"=?koi8-r?Q?=F0=D2=C9?=", "\xF0\xD2\xC9", L"koi8-r"},
    {"=?windows-1251?B?z/Do4uXy?=", "\xCF\xF0\xE8\xE2\xE5\xF2", L"windows-1251"},
    {"=?shift_jis?B?gqCCoA==?=", "\x82\xA0\x82\xA0", L"shift_jis"},
    {"plain words", "plain words", L"utf-8"},
    {"more text here", "more text here", L"utf-8"}};
const char* const kNames[] = {"Received", "X-Mailer", "Subject", "From", "To", "Cc", "X-Spam-Status", "Message-ID"};
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct Block {
  std::string text;
  std::string date;                  // the Date value
  std::vector<const Word*> words;    // every word of every field, in order
};

// Built in scratch buffers and then copied at their final sizes: strings
// grown append by append would leave their outgrown buffers freed between
// the live blocks, thousands of 1-2 KiB holes that Wine's heap walks on
// every allocation of that size (Windows' low-fragmentation heap does not),
// and the parser would be timed against the generator's litter.
Block MakeHeader(std::mt19937& rng, std::string& h, std::vector<const Word*>& words) {
  Block b;
  h.clear();
  words.clear();
  const int fields = 15 + static_cast<int>(rng() % 26);
  for (int f = 0; f < fields; ++f) {
    h += kNames[rng() % 8];
    h += ": ";
    for (int w = 1 + static_cast<int>(rng() % 4); w > 0; --w) {
      const Word& word = kWords[rng() % 7];
      words.push_back(&word);
      h += word.text;
      h += rng() % 3 == 0 ? "\r\n\t" : " ";
    }
    h += "end\r\n";
  }
  // Dates from every season and many zones, so that both sides of daylight
  // saving time are converted.
  char date[64];
  const int zone = static_cast<int>(rng() % 25) - 12;
  snprintf(date, sizeof date, "%s, %u %s %u %02u:%02u:%02u %c%02d%s", kDays[rng() % 7], 1 + rng() % 28,
           kMonths[rng() % 12], 1995 + rng() % 31, rng() % 24, rng() % 60, rng() % 60, zone < 0 ? '-' : '+',
           zone < 0 ? -zone : zone, rng() % 4 == 0 ? "30" : "00");
  b.date = date;
  h += "Date: " + b.date + "\r\n";
  h += "Content-Type: text/plain; charset=utf-8\r\n\r\n";
  b.text.assign(h);
  b.words.assign(words.begin(), words.end());
  return b;
}

std::string MakeMultipart(size_t total, int parts = 200) {
  const size_t each = total / static_cast<size_t>(parts);
  std::string m = "Content-Type: multipart/mixed; boundary=\"sep\"\r\n\r\n";
  const std::string line = "Quoted=20printable text with a soft break=\r\n and more words.\r\n";
  for (int p = 0; p < parts; ++p) {
    m += "--sep\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    for (size_t n = 0; n < each; n += line.size()) m += line;
  }
  m += "--sep--\r\n";
  return m;
}

// One stage timed over every header block: the shortest wall time of
// kPasses passes (the machine is shared: the least disturbed pass) and the
// mean CPU time over all of them (the thread clock ticks in 10 ms steps
// under Wine, so CPU is only a check).
struct Timing {
  double wall;  // seconds per pass
  double cpu;   // seconds per pass
};
constexpr int kPasses = 7;

template <typename F>
Timing Measure(F&& pass, int repeat = 1) {
  std::vector<double> walls;
  const double c0 = ThreadCpu();
  for (int i = 0; i < kPasses; ++i) {
    const double w0 = Now();
    for (int r = 0; r < repeat; ++r) pass();
    walls.push_back((Now() - w0) / repeat);
  }
  const double cpu = (ThreadCpu() - c0) / (kPasses * repeat);
  std::sort(walls.begin(), walls.end());
  return {walls[0], cpu};
}

}  // namespace

int main(int argc, char** argv) {
  // An optional count of header blocks (default 10,000) and 0 to skip the multipart runs.
  const int count = argc > 1 ? atoi(argv[1]) : 10000;
  const bool multipart = argc > 2 ? atoi(argv[2]) != 0 : true;
  // A third argument of 1 leaves the heap littered with the generator's
  // outgrown buffers, to show what that costs under Wine. A fourth, N > 0,
  // runs only the whole parse N times (for a profiler).
  const bool litter = argc > 3 && atoi(argv[3]) != 0;
  ScopedCoInit com;
  std::mt19937 rng(7);
  std::vector<Block> blocks;
  blocks.reserve(static_cast<size_t>(count));
  size_t bytes = 0;
  std::string scratch;
  std::vector<const Word*> words;
  for (int i = 0; i < count; ++i) {
    if (litter) {
      // Fresh scratch per block: its outgrown buffers stay behind as holes.
      std::string fresh;
      std::vector<const Word*> freshWords;
      blocks.push_back(MakeHeader(rng, fresh, freshWords));
    } else {
      blocks.push_back(MakeHeader(rng, scratch, words));
    }
    bytes += blocks.back().text.size();
  }
  // Every stage once beforehand: the charset names are then known to the
  // process, as they are after the first few messages.
  RefPtr<MailMessage> m = MailMessage::Create(L"bench");
  size_t fields = 0;
  for (const auto& b : blocks) {
    parseHeader(*m, b.text.data(), b.text.size());
    fields += m->headerFields.size();
  }

  if (argc > 4 && atoi(argv[4]) > 0) {
    // Only the whole parse, this many passes: for a profiler.
    const double w0 = Now();
    for (int pass = atoi(argv[4]); pass > 0; --pass)
      for (const auto& b : blocks) {
        m->headerFields = HeaderFieldList();
        parseHeader(*m, b.text.data(), b.text.size());
      }
    printf("parse only: %.2f us per header\n", (Now() - w0) * 1e6 / (atoi(argv[4]) * static_cast<double>(count)));
    return 0;
  }
  std::vector<char> copy;
  const Timing copying = Measure([&] {
    for (const auto& b : blocks) copy.assign(b.text.begin(), b.text.end());
  }, 20);
  // Each message gets its own field list, as a fetched message does: the
  // list of the previous pass is freed (the message going) and a new one
  // made, so nothing is reused from one header to the next.
  const Timing full = Measure([&] {
    for (const auto& b : blocks) {
      m->headerFields = HeaderFieldList();
      parseHeader(*m, b.text.data(), b.text.size());
    }
  });
  const Timing listing = Measure([&] {
    for (const auto& b : blocks) {
      HeaderFieldList only;
      parseFieldList(b.text.data(), b.text.size(), only);
    }
  });
  std::vector<std::vector<RawField>> split(blocks.size());
  const Timing splitting = Measure([&] {
    for (size_t i = 0; i < blocks.size(); ++i) splitFields(blocks[i].text.data(), blocks[i].text.size(), split[i]);
  });
  // The same split over one block again and again: the cost without the
  // memory traffic of 20 MiB of blocks.
  std::vector<RawField> hot;
  const Timing splittingHot = Measure([&] {
    for (size_t i = 0; i < blocks.size(); ++i) splitFields(blocks[0].text.data(), blocks[0].text.size(), hot);
  });
  size_t chars = 0;
  const Timing decoding = Measure([&] {
    std::wstring value;
    for (const auto& fieldsOf : split) {
      ValueDecoder decoder(L"utf-8");  // the block's Content-Type charset, as the parser does
      for (const RawField& f : fieldsOf) {
        if (f.nameLength == 12) continue;  // Content-Type
        value.clear();
        decoder.Decode(f.value, f.valueLength, value);
        chars += value.size();
      }
    }
  });
  // Each charset name resolved once, as the decoder does for a block.
  std::vector<CharsetRoute> routes;
  for (const Word& w : kWords) routes.push_back(ResolveCharset(w.charset));
  const Timing converting = Measure([&] {
    std::wstring text;
    for (const auto& b : blocks)
      for (const Word* w : b.words) {
        text.clear();
        AppendToUnicode(routes[static_cast<size_t>(w - kWords)], w->bytes, strlen(w->bytes), text);
        chars += text.size();
      }
  });
  // The floor the field list sets: a fresh list of every name and value of
  // the block, of the final lengths, made and freed.
  std::vector<std::vector<std::pair<size_t, size_t>>> lengths;
  for (const auto& b : blocks) {
    parseHeader(*m, b.text.data(), b.text.size());
    lengths.emplace_back();
    for (const auto& [name, value] : m->headerFields) lengths.back().emplace_back(name.size(), value.size());
  }
  size_t longest = 0;
  for (const auto& sizes : lengths)
    for (const auto& [n, v] : sizes) longest = std::max(longest, std::max(n, v));
  const std::wstring filler(longest, L'x');
  const Timing allocating = Measure([&] {
    for (const auto& sizes : lengths) {
      HeaderFieldList list;
      size_t units = 0;
      for (const auto& [n, v] : sizes) units += n + v;
      list.reserve(sizes.size(), units);
      for (const auto& [n, v] : sizes) list.push_back(std::wstring_view(filler.data(), n), std::wstring_view(filler.data(), v));
    }
  });
  std::vector<std::wstring> dates;
  for (const auto& b : blocks) dates.emplace_back(b.date.begin(), b.date.end());
  WORD hours = 0;
  const Timing dating = Measure([&] {
    for (const auto& d : dates) hours = static_cast<WORD>(hours + parseDate(d.c_str()).wHour);
  });

  const double n = static_cast<double>(blocks.size());
  printf("headers: %zu blocks, %zu bytes, %zu fields (%zu characters, %u hours)\n", blocks.size(), bytes, fields,
         chars, hours);
  printf("%-34s %10s %10s %10s %10s\n", "stage (per header)", "best us", "CPU us", "best/copy", "CPU/copy");
  auto row = [&](const char* stage, const Timing& t) {
    printf("%-34s %10.2f %10.2f %10.1f %10.1f\n", stage, t.wall * 1e6 / n, t.cpu * 1e6 / n, t.wall / copying.wall,
           t.cpu / copying.cpu);
  };
  row("copy the bytes", copying);
  row("parse and decode (parseHeader)", full);
  row("  field list only (parseFieldList)", listing);
  row("  split into fields", splitting);
  row("  split, one block (cache-hot)", splittingHot);
  row("  decode values (with charsets)", decoding);
  row("  charset conversion of the words", converting);
  row("  date to local time", dating);
  row("  strings of the field list only", allocating);

  fflush(stdout);
  if (!multipart) return 0;
  for (size_t size : {size_t(2) << 20, size_t(20) << 20}) {
    const std::string text = MakeMultipart(size);
    RefPtr<MailMessage> whole = MailMessage::Create(L"whole");
    const std::string header = text.substr(0, text.find("\r\n\r\n") + 4);
    parseHeader(*whole, header.data(), header.size());
    const double t0 = ThreadCpu();
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
  double perByte[2] = {};
  int run = 0;
  for (size_t size : {size_t(1) << 20, size_t(10) << 20}) {
    const std::string text = "\r\n" + MakeMultipart(size, 1000);
    RefPtr<MailMessage> whole = MailMessage::Create(L"whole");
    const std::string header = text.substr(0, text.find("\r\n\r\n") + 4);
    parseHeader(*whole, header.data(), header.size());
    const Timing t = Measure([&] { parseMessage(*whole, text.data(), text.size()); });
    perByte[run++] = t.wall * 1e9 / text.size();
    printf("split only %5.1f MiB, %zu parts: best %.3f ms, %.2f ns per byte\n", text.size() / 1048576.0,
           whole->parts.size(), t.wall * 1e3, t.wall * 1e9 / text.size());
  }
  printf("split per byte, 10 MiB / 1 MiB: %.2f\n", perByte[1] / perByte[0]);
  return 0;
}
