#include <gtest/gtest.h>

#include <random>
#include <string>

#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageFile.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "mime/MimeBody.h"
#include "mime/MimeSave.h"

using namespace pw;

namespace {

RefPtr<MailMessage> Whole(const std::string& header, const std::string& body) {
  RefPtr<MailMessage> m = MailMessage::Create(L"u");
  parseHeader(*m, header.data(), header.size());
  const std::string text = header + body;
  parseMessage(*m, text.data(), text.size());
  return m;
}

std::wstring Html(const char* html) { return decodeBody(html, strlen(html), nullptr, nullptr, true); }

std::wstring TempDir(const wchar_t* name) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring dir = std::wstring(tmp) + name;
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

std::string FileText(const std::wstring& path) {
  std::string out;
  ScopedHandle f(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return "<missing>";
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f.Get(), buf, sizeof(buf), &got, nullptr) && got) out.append(buf, got);
  return out;
}

// Multiparts nested `levels` deep, each level with its own boundary.
std::string Nested(int levels) {
  std::string body;
  for (int d = 0; d < levels; ++d)
    body += "--b" + std::to_string(d) + "z\r\nContent-Type: multipart/mixed; boundary=b" + std::to_string(d + 1) +
            "z\r\n\r\n";
  return body;
}

class Mime : public ::testing::Test {
  ScopedCoInit com_;
};

const char kAlternative[] =
    "This is a multi-part message.\r\n"
    "--outer\r\n"
    "Content-Type: multipart/alternative; boundary=inner\r\n\r\n"
    "--inner\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
    "Caf=E9 au=\r\n lait =3D ok =ZZ\r\n"
    "--inner\r\n"
    "Content-Type: TEXT/HTML; charset=utf-8\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\n"
    "PHA+SGVsbG8mbmJzcDs8Yj5Xb3JsZDwvYj48L3A+\r\n"
    "--inner--\r\n"
    "--outer\r\n"
    "Content-Type: application/octet-stream\r\n"
    "Content-Disposition: attachment; filename=\"a b.bin\"\r\n\r\n"
    "raw\r\n"
    "--outer--\r\n";

}  // namespace

TEST_F(Mime, AlternativePartsAndAttachments) {
  auto m = Whole("Subject: x\r\nContent-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n", kAlternative);
  ASSERT_EQ(m->parts.size(), 2u);
  ASSERT_EQ(m->parts[0]->parts.size(), 2u);
  // The line break before a delimiter belongs to the delimiter.
  EXPECT_EQ(leafText(*m, 0).value_or(L"<none>"), L"Caf\u00E9 au lait = ok =ZZ");
  EXPECT_EQ(leafText(*m, 1).value_or(L"<none>"), L"\r\nHello World\r\n");
  EXPECT_EQ(leafText(*m, 2).value_or(L"<none>"), L"raw");
  EXPECT_FALSE(leafText(*m, 3));
  std::vector<AttachmentName> names;
  attachmentNames(*m, names);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].name, L"a b.bin");
  EXPECT_EQ(names[0].part, m->parts[1]);
  releaseBody(*m);
  EXPECT_TRUE(m->parts.empty());
  EXPECT_FALSE(leafText(*m, 0));
}

TEST_F(Mime, PlainMessagesAndBrokenMultiparts) {
  auto m = Whole("Content-Type: text/plain\r\n\r\n", "just text");
  EXPECT_EQ(leafText(*m, 0).value_or(L"<none>"), L"just text");
  // No boundary, or a boundary never followed by CR LF: the whole content.
  m = Whole("Content-Type: multipart/mixed\r\n\r\n", "--x\r\n\r\nbody");
  EXPECT_TRUE(m->parts.empty());
  EXPECT_EQ(leafText(*m, 0).value_or(L"<none>"), L"--x\r\n\r\nbody");
  m = Whole("Content-Type: multipart/mixed; boundary=x\r\n\r\n", "--x");
  EXPECT_TRUE(m->parts.empty());
  // A last part without its closing delimiter runs to the end.
  m = Whole("Content-Type: multipart/mixed; boundary=x\r\n\r\n", "--x\r\nContent-Type: text/plain\r\n\r\ntail");
  ASSERT_EQ(m->parts.size(), 1u);
  EXPECT_EQ(leafText(*m, 0).value_or(L"<none>"), L"tail");
}

TEST_F(Mime, HtmlToText) {
  EXPECT_EQ(Html("<p>Hello&nbsp;<b>World</b></p>"), L"\r\nHello World\r\n");
  // Upper-case tags: a p with an attribute vanishes, a BR breaks the line.
  EXPECT_EQ(Html("a<P class=\"x\">b<BR>c"), L"ab\r\nc");
  EXPECT_EQ(Html("<style>p{}</style>x<script>y()</script>z"), L"xz");
  EXPECT_EQ(Html("<style type=\"text/css\">p{}</style>x"), L"p{}x");
  EXPECT_EQ(Html("<title>T</title><ul><li>one</li></ul>"), L"TITLE: T\r\n* one\r\n");
  EXPECT_EQ(Html("a &lt;b&gt; &amp;lt; &quot;q&quot; &copy;"), L"a <b> &lt; q &copy;");
  EXPECT_EQ(Html("x\r\n\t  y   z"), L"x y z");
  EXPECT_EQ(Html("<br>   <br>  indented"), L"\r\n\r\nindented");
  EXPECT_EQ(Html("cut <b"), L"cut ");
}

TEST_F(Mime, TransferEncodings) {
  EXPECT_EQ(decodeQuotedPrintable("a=\r\nb=3D=3d=4", 13), "ab==" "=4");
  EXPECT_EQ(decodeQuotedPrintable("=G1 x=", 6), "=G1 x=");
  EXPECT_EQ(decodeBody("\r\n", 2, nullptr, L"BASE64", false), L"\r\n");
  EXPECT_EQ(decodeBody("", 0, nullptr, L"base64", false), L"");
  EXPECT_EQ(decodeBody("0KDQvtGB0YI=", 12, L"utf-8", L"base64", false), L"\u0420\u043E\u0441\u0442");
  EXPECT_EQ(decodeBody("a=\r\nb", 5, nullptr, L"8bit", false), L"a=\r\nb");
}

TEST_F(Mime, RuleSavesOnceAndQuotesTheCommand) {
  const std::wstring dir = TempDir(L"pw mime save");
  auto m = Whole("Subject: x\r\n\r\n", std::string("body\0hidden", 11));
  m->savePath.Set(dir.c_str());
  m->command.Set(L"viewer.exe %msgfile% -x");
  m->SetFlags(MessageFlags::SaveToFile | MessageFlags::SaveIntoFolder);
  saveByRule(*m);
  EXPECT_TRUE(m->HasState(MessageState::Saved));
  EXPECT_FALSE(m->HasFlag(MessageFlags::SaveToFile));
  const std::wstring saved = m->savePath.Str();
  EXPECT_EQ(saved.rfind(dir + L"\\", 0), 0u);
  EXPECT_EQ(saved.substr(saved.size() - 4), L".msg");
  EXPECT_EQ(FileText(saved), "Subject: x\r\n\r\nbody");
  // Matching again saves nothing more.
  m->SetFlags(MessageFlags::SaveToFile);
  saveByRule(*m);
  EXPECT_EQ(m->savePath.Str(), saved);
  EXPECT_EQ(commandLine(*m), L"viewer.exe \"" + saved + L"\" -x");
  // Two names drawn one after the other differ once the first exists.
  EXPECT_NE(uniqueSavePath(dir), saved);
  DeleteFileW(saved.c_str());
  RemoveDirectoryW(dir.c_str());
}

TEST_F(Mime, HostileCorpusStaysInBounds) {
  std::mt19937 rng(1721);
  const char pieces[] = {'-', '-', '\r', '\n', 'x', ':', ' ', '=', '<', '>', '&', '\0', '\xFE'};
  for (int round = 0; round < 600; ++round) {
    std::string body;
    switch (round % 4) {
      case 0:  // truncations of a real message
        body = std::string(kAlternative).substr(0, rng() % sizeof(kAlternative));
        break;
      case 1:  // deep nesting, every level its own boundary
        body = Nested(200);
        body.resize(rng() % body.size());
        break;
      case 2:  // boundary soup
        for (int k = rng() % 200; k >= 0; --k) body += pieces[rng() % sizeof(pieces)];
        break;
      default:  // a huge boundary at the very end
        body = "--" + std::string(4096, 'x');
    }
    const std::string header = round % 4 == 3 ? "Content-Type: multipart/mixed; boundary=" + std::string(4096, 'x') +
                                                    "\r\n\r\n"
                      : round % 4 == 1 ? "Content-Type: multipart/mixed; boundary=b0z\r\n\r\n"
                                       : "Content-Type: multipart/mixed; boundary=x\r\n\r\n";
    auto m = Whole(header, body);
    for (int i = 0; i < 4; ++i) leafText(*m, i);
    std::vector<AttachmentName> names;
    attachmentNames(*m, names);
    const std::string html = body.substr(0, rng() % (body.size() + 1));
    decodeBody(html.data(), html.size(), nullptr, L"quoted-printable", true);
  }
  // Nesting beyond the bound stops splitting instead of recursing on.
  auto m = Whole("Content-Type: multipart/mixed; boundary=b0z\r\n\r\n", Nested(1000));
  int depth = 0;
  for (const MimePart* p = m->parts.empty() ? nullptr : m->parts[0].get(); p;
       p = p->parts.empty() ? nullptr : p->parts[0].get())
    ++depth;
  EXPECT_GE(depth, kMaxMimeDepth - 1);
  EXPECT_LE(depth, kMaxMimeDepth);
}
