// Real Linux servers for the Windows tests: started through /bin/sh from
// under Wine by services.py, on 127.0.0.1 (unless told otherwise) and high
// ports, each in a temporary directory of its own, and stopped when the
// owning object goes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pwtest {

// Runs a command line with the Linux /bin/sh and returns its exit code, or -1
// when it could not be started or did not end within the time-out.
int RunLinux(const std::string& command, DWORD timeoutMs = 60000);

// A free TCP port on 127.0.0.1 between 20000 and 32000 (below the ephemeral
// range, so outgoing connections do not take it in the meantime).
int FreePort();

// "/tmp/x/y" -> the Windows path Wine maps it to ("Z:\tmp\x\y").
std::wstring WindowsPath(const std::string& unixPath);
// Reads a whole file named by its Linux path; empty when missing.
std::string ReadLinuxFile(const std::string& unixPath);
// Creates a file that must not exist yet (a message dropped into a maildir).
bool WriteNewLinuxFile(const std::string& unixPath, const std::string& bytes);

// A fresh directory under /tmp, made on the Linux side; removed at the end.
class LinuxTempDir {
 public:
  LinuxTempDir();
  ~LinuxTempDir();
  LinuxTempDir(const LinuxTempDir&) = delete;
  LinuxTempDir& operator=(const LinuxTempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

using Options = std::vector<std::pair<std::string, std::string>>;

// One running service. Names: "tls" (openssl s_server, lines answered
// reversed; options certdir, cert, args, and file=N to serve N bytes as
// "GET /data.bin HTTP/1.0" instead), "ssh-socks" (sshd + ssh -D: SOCKS 4,
// 4A, 5), "microsocks" (SOCKS 5; user, password), "squid" (HTTP CONNECT; port
// "auth" wants Basic user/password), "dovecot" (POP3 with STLS and port
// "pop3s" when certdir is given; user, password, apop=1; listen=ADDRESS for
// both ports, and plaintext=no to refuse USER/PASS before TLS to clients
// from another address; maildir at Dir()/home/user/Maildir, log in
// Dir()/dovecot.log; userip=N sessions of one user at once, default 10),
// "mailutils" (GNU pop3d, slow per command: user is an
// address, default "user@example.org"; password; certdir and cert give STLS
// on "main" and TLS from the first byte on "pop3s", without them STLS is
// refused; APOP always; maildir at Dir()/home/<local part>/INBOX whose files
// end lines with LF; every command it received in Dir()/pop3d.log as
// "pop3d: C: ..." with the password masked), "source" (plain TCP: each
// client gets "bytes" bytes, then the connection closes).
class Service {
 public:
  Service(const std::string& name, const Options& options = {});
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Error() const { return error_; }
  int Port(const std::string& which = "main") const;
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
  bool ok_ = false;
  std::string error_;
  std::map<std::string, int> ports_;
};

// The test certificates of services.py ("good", "wronghost", "expired",
// "selfsigned", each with .pem, .key and .fp), with the test CA added to the
// current user's root store of the Wine prefix while the object lives.
class TestCertificates {
 public:
  TestCertificates();
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Error() const { return error_; }
  const std::string& Dir() const { return dir_.Path(); }
  // SHA-256 fingerprint as "AB:CD:...".
  std::string Fingerprint(const std::string& name) const;

 private:
  LinuxTempDir dir_;
  bool ok_ = false;
  std::string error_;
  std::vector<BYTE> caDer_;
};

}  // namespace pwtest
