// Speed of the message viewer: showing a large message against decoding it
// (MIME split and charset decoding of the same bytes, in the same run), at
// 1 MiB and at 10 MiB to see it grow linearly, and the process's private
// bytes after switching to a small message against before the large one.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "common/BenchSupport.h"
#include "ui/ViewerMessages.h"
#include "ui/viewer/MessageViewer.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A message of about `bytes`: a quoted-printable UTF-8 text part with
// accented words, and a small attachment.
std::string BigMessage(size_t bytes) {
  std::string s =
      "From: Ann Example <ann@example.org>\r\nTo: bob@example.net\r\nSubject: Minutes of the year\r\n"
      "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\n"
      "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
  static const char* const kLines[] = {
      "The committee met on Tuesday and agreed on the caf=C3=A9 budget for next year.\r\n",
      "Item 4: J=C3=BCrgen reported on the r=C3=A9sum=C3=A9 archive; no objections were raised.\r\n",
      "Plain line of text with numbers 0123456789 and nothing special in it at all.\r\n",
  };
  size_t k = 0;
  s.reserve(bytes + 512);
  while (s.size() < bytes) s += kLines[k++ % 3];
  s += "\r\n--b1\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
       "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\nAAECAwQFBgcICQ==\r\n--b1--\r\n";
  return s;
}

pw::RefPtr<pw::MailMessage> Record(const std::string& text) {
  auto m = pw::MailMessage::Create(L"m");
  pw::parseHeader(*m, text.data(), text.find("\r\n\r\n") + 2);
  pw::parseMessage(*m, text.data(), text.size());
  return m;
}

// The baseline: what the viewer needs decoded, done alone.
double Decode(const std::string& text, size_t* chars) {
  const double t0 = Now();
  auto m = Record(text);
  size_t n = 0;
  for (int i = 0; i < 16; ++i) {
    auto t = pw::leafText(*m, i);
    if (!t) break;
    n += t->size();
  }
  const double t = Now() - t0;
  if (chars) *chars = n;
  return t;
}

// Showing a message that is already split, as the list window hands it
// over, until the visible tab has painted.
double Show(HWND viewer, pw::MailMessage* m) {
  const double t0 = Now();
  SendMessageW(viewer, pw::ui::kViewShowMessage, 0, reinterpret_cast<LPARAM>(m));
  UpdateWindow(viewer);
  return Now() - t0;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// The rest of a large text arrives a step per timer tick while the user
// reads: the time until the last step is in.
double WholeText(HWND viewer) {
  pw::ui::ViewerState* v = pw::ui::ViewerOf(viewer);
  const double t0 = Now();
  while (!v->bodyLeft.Empty() || !v->sourceLeft.Empty()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
  }
  return Now() - t0;
}

size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX c{};
  c.cb = sizeof(c);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof(c));
  // Some Wine versions leave PrivateUsage empty; the page-file figure is the
  // same count of committed private memory there.
  return c.PrivateUsage ? c.PrivateUsage : c.PagefileUsage;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);  // figures appear as they are measured
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  pw::ui::RegisterViewerClasses(GetModuleHandleW(nullptr));
  HWND viewer = CreateWindowExW(0, pw::ui::kViewerClass, L"Viewer bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                                800, 600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(viewer, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  SendMessageW(viewer, pw::ui::kViewSelectTab, 1, 0);  // Message, as the list window opens it
  if (argc > 4 && !strcmp(argv[4], "nourl")) {  // to see what link detection costs
    pw::ui::ViewerState* v = pw::ui::ViewerOf(viewer);
    SendMessageW(v->source, EM_AUTOURLDETECT, FALSE, 0);
    SendMessageW(v->body, EM_AUTOURLDETECT, FALSE, 0);
  }
  Pump();

  const std::string small = BigMessage(2000);
  auto smallRecord = Record(small);
  Show(viewer, smallRecord.Get());
  Pump();

  // Sizes in KiB may be given for a quicker look: bench_viewer ROUNDS SMALL LARGE.
  const size_t sizes[2] = {(argc > 2 ? static_cast<size_t>(atoi(argv[2])) : 1024u) << 10,
                           (argc > 3 ? static_cast<size_t>(atoi(argv[3])) : 10240u) << 10};
  double perByte[2] = {};
  for (int s = 0; s < 2; ++s) {
    const std::string text = BigMessage(sizes[s]);
    std::vector<double> decode, show, whole, back;
    size_t chars = 0;
    // Alternating, so both see the same machine load.
    for (int r = 0; r < rounds; ++r) {
      decode.push_back(Decode(text, &chars));
      auto m = Record(text);
      show.push_back(Show(viewer, m.Get()));
      whole.push_back(show.back() + WholeText(viewer));
      back.push_back(Show(viewer, smallRecord.Get()));
      Pump();
    }
    const double d = Median(decode), v = Median(show);
    perByte[s] = v / static_cast<double>(text.size());
    printf("%6.2f MiB (%zu chars of text): decode %8.1f ms [%.1f..%.1f], show %8.1f ms [%.1f..%.1f], x%.2f\n",
           text.size() / 1048576.0, chars, d * 1e3, *std::min_element(decode.begin(), decode.end()) * 1e3,
           *std::max_element(decode.begin(), decode.end()) * 1e3, v * 1e3,
           *std::min_element(show.begin(), show.end()) * 1e3, *std::max_element(show.begin(), show.end()) * 1e3,
           v / d);
    printf("         whole text in the control %.1f ms (x%.2f), switching to a small message %.1f ms\n",
           Median(whole) * 1e3, Median(whole) / d, Median(back) * 1e3);
  }
  printf("show per byte, 10 MiB against 1 MiB: x%.2f\n", perByte[1] / perByte[0]);

  // Memory: the small message shown, before and after a large one came and
  // went (the large record released as the list window would).
  for (int r = 0; r < 2; ++r) {
    const std::string text = BigMessage(sizes[1]);
    const size_t before = PrivateBytes();
    {
      auto m = Record(text);
      Show(viewer, m.Get());
      WholeText(viewer);
      const size_t during = PrivateBytes();
      Show(viewer, smallRecord.Get());
      Pump();
      printf("private bytes: before %.1f MiB, showing 10 MiB %.1f MiB", before / 1048576.0, during / 1048576.0);
    }
    const size_t after = PrivateBytes();
    printf(", after switching back %.1f MiB: %+.2f MiB\n", after / 1048576.0,
           (static_cast<double>(after) - static_cast<double>(before)) / 1048576.0);
  }
  DestroyWindow(viewer);
  return 0;
}
