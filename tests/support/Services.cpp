#include "support/Services.h"

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "base/Scoped.h"
#include "net/NetHandles.h"

namespace pwtest {

namespace {

const char kScript[] = PW_SOURCE_DIR "/tests/support/services.py";
const char kPython[] = "/usr/bin/python3";

std::wstring Widen(const std::string& s) {
  return std::wstring(s.begin(), s.end());  // the commands are plain ASCII
}

std::string Script(const std::string& args) { return std::string(kPython) + " " + kScript + " " + args; }

// Process ids are only unique within one Wine server, and other builds run
// tests in prefixes of their own: names in the shared /tmp also carry a
// random number drawn once per process.
unsigned long long Nonce() {
  static const unsigned long long nonce = [] {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    std::seed_seq seed{static_cast<unsigned>(counter.LowPart), static_cast<unsigned>(counter.HighPart),
                       static_cast<unsigned>(GetCurrentProcessId()), std::random_device{}()};
    std::mt19937_64 rng(seed);
    return rng();
  }();
  return nonce;
}

}  // namespace

int RunLinux(const std::string& command, DWORD timeoutMs) {
  // Wine starts a Unix program named by its Unix path, but its process
  // handle cannot be waited on: the shell leaves its exit code in a file.
  static std::atomic<int> counter{0};
  char status[96];
  snprintf(status, sizeof(status), "/tmp/pwrun-%lu-%llx-%d", GetCurrentProcessId(), Nonce(), counter++);
  const std::string rc = status;
  std::wstring line = L"/bin/sh -c \"(" + Widen(command) + L") </dev/null >/dev/null 2>&1; echo $? >" +
                      Widen(rc) + L".tmp; mv " + Widen(rc) + L".tmp " + Widen(rc) + L"\"";
  const std::wstring rcPath = WindowsPath(rc);
  DeleteFileW(rcPath.c_str());  // left by an earlier program with the same id
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(L"/bin/sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  pw::ScopedHandle process(pi.hProcess);
  pw::ScopedHandle thread(pi.hThread);
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (GetFileAttributesW(rcPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount64() >= end) return -1;
    Sleep(20);
  }
  const std::string text = ReadLinuxFile(rc);
  DeleteFileW(rcPath.c_str());
  return text.empty() ? -1 : atoi(text.c_str());
}

bool WriteNewLinuxFile(const std::string& unixPath, const std::string& bytes) {
  pw::ScopedHandle file(CreateFileW(WindowsPath(unixPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

int FreePort() {
  static std::mt19937 rng(GetCurrentProcessId() ^ GetTickCount());
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int port = 20000 + static_cast<int>(rng() % 12000);
    pw::ScopedSocket s(socket(AF_INET, SOCK_STREAM, 0));
    if (!s) return 0;
    sockaddr_in sin = {};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sin.sin_port = htons(static_cast<u_short>(port));
    if (bind(s.Get(), reinterpret_cast<sockaddr*>(&sin), sizeof(sin)) == 0) return port;
  }
  return 0;
}

std::wstring WindowsPath(const std::string& unixPath) {
  using Convert = LPWSTR(CDECL*)(LPCSTR);
  static const auto convert =
      reinterpret_cast<Convert>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name"));
  if (convert) {
    if (LPWSTR dos = convert(unixPath.c_str())) {
      std::wstring result(dos);
      HeapFree(GetProcessHeap(), 0, dos);
      return result;
    }
  }
  std::wstring result = L"Z:" + Widen(unixPath);
  for (auto& c : result)
    if (c == L'/') c = L'\\';
  return result;
}

std::string ReadLinuxFile(const std::string& unixPath) {
  std::ifstream in(WindowsPath(unixPath).c_str(), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

LinuxTempDir::LinuxTempDir() {
  static std::atomic<int> counter{0};
  char name[96];
  snprintf(name, sizeof(name), "/tmp/pwsvc-%lu-%llx-%d", GetCurrentProcessId(), Nonce(), counter++);
  path_ = name;
  RunLinux("mkdir -p -m 0755 " + path_);
}

LinuxTempDir::~LinuxTempDir() { RunLinux("rm -rf " + path_); }

Service::Service(const std::string& name, const Options& options) {
  LinuxTempDir probe;  // only for a unique name: services.py owns the directory
  dir_ = probe.Path() + "-" + name;
  std::string args = "start --dir " + dir_ + " --name " + name + " --port " + std::to_string(FreePort());
  for (const auto& [key, value] : options) args += " --opt " + key + "=" + value;
  const int code = RunLinux(Script(args));
  std::istringstream ports(ReadLinuxFile(dir_ + "/ports"));
  std::string which;
  int port = 0;
  while (ports >> which >> port) ports_[which] = port;
  ok_ = code == 0 && Port() > 0;
  if (!ok_) error_ = "service " + name + " did not start (" + std::to_string(code) + "): " +
                     ReadLinuxFile(dir_ + "/error.txt");
}

Service::~Service() { RunLinux(Script("stop --dir " + dir_)); }

int Service::Port(const std::string& which) const {
  auto it = ports_.find(which);
  return it == ports_.end() ? 0 : it->second;
}

TestCertificates::TestCertificates() {
  const int code = RunLinux(Script("certs --dir " + dir_.Path()));
  const std::string der = ReadLinuxFile(dir_.Path() + "/ca.der");
  if (code != 0 || der.empty()) {
    error_ = "certificates not made (" + std::to_string(code) + "): " + ReadLinuxFile(dir_.Path() + "/error.txt");
    return;
  }
  caDer_.assign(der.begin(), der.end());
  // The current user's root store of the test prefix: never the machine's.
  pw::ScopedCertStore store(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
  if (!store) {
    error_ = "no user root store";
    return;
  }
  ok_ = CertAddEncodedCertificateToStore(store.Get(), X509_ASN_ENCODING, caDer_.data(),
                                         static_cast<DWORD>(caDer_.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                         nullptr) != FALSE;
  if (!ok_) error_ = "test CA not added to the user root store";
}

TestCertificates::~TestCertificates() {
  if (caDer_.empty()) return;
  pw::ScopedCertStore store(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
  if (!store) return;
  pw::ScopedCertContext wanted(
      CertCreateCertificateContext(X509_ASN_ENCODING, caDer_.data(), static_cast<DWORD>(caDer_.size())));
  if (!wanted) return;
  // Deleting frees the found context itself.
  if (PCCERT_CONTEXT found =
          CertFindCertificateInStore(store.Get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.Get(), nullptr))
    CertDeleteCertificateFromStore(found);
}

std::string TestCertificates::Fingerprint(const std::string& name) const {
  std::string fp = ReadLinuxFile(dir_.Path() + "/" + name + ".fp");
  while (!fp.empty() && (fp.back() == '\n' || fp.back() == '\r')) fp.pop_back();
  return fp;
}

}  // namespace pwtest
