#!/usr/bin/python3
"""Starts and stops the real servers the Windows tests talk to.

Each service runs in a directory of its own (mode 0755: dovecot and squid
drop privileges), listens on 127.0.0.1 only, writes its output to files there
(a daemon must never hold the caller's pipes) and is stopped by process group.

  services.py certs --dir D
  services.py start --dir D --name NAME --port P [--opt key=value ...]
  services.py stop --dir D

'start' exits 0 once every port of the service accepts connections, and
writes "name port" lines to D/ports; on failure it writes D/error.txt.
"""
import argparse
import os
import pwd
import random
import shutil
import signal
import socket
import subprocess
import sys
import time

os.environ["PATH"] = "/usr/sbin:/usr/bin:/sbin:/bin"
os.environ.pop("LD_PRELOAD", None)

OPENSSL = "/usr/bin/openssl"
START_TIMEOUT = 20.0


class Failure(Exception):
    pass


def run(args, **kw):
    r = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=60, **kw)
    if r.returncode != 0:
        raise Failure("%s failed: %s" % (args[0], r.stdout.decode(errors="replace")[-2000:]))
    return r.stdout.decode(errors="replace")


def write(path, text, mode=0o644):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)


def port_free(port):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


RESERVED = "/tmp/pwsvc-ports"
reserving_dir = None  # the service directory the ports picked now belong to


def reserve(port):
    """Claims a port for this service until it stops, so that tests starting
    servers side by side never pick the same one."""
    os.makedirs(RESERVED, exist_ok=True)
    path = os.path.join(RESERVED, str(port))
    for _ in range(2):
        try:
            fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        except FileExistsError:
            try:
                owner = open(path).read()
            except OSError:
                return False
            if owner and os.path.isdir(owner):
                return False
            try:
                os.remove(path)  # its service is gone
            except OSError:
                return False
            continue
        os.write(fd, (reserving_dir or "").encode())
        os.close(fd)
        with open(os.path.join(reserving_dir, "reserved"), "a") as f:
            f.write("%d\n" % port)
        return True
    return False


def release(d):
    try:
        ports = open(os.path.join(d, "reserved")).read().split()
    except OSError:
        return
    for port in ports:
        try:
            os.remove(os.path.join(RESERVED, port))
        except OSError:
            pass


def pick_port(wanted=0):
    # Below the ephemeral range, so no outgoing connection takes it meanwhile.
    for _ in range(200):
        port = wanted or random.randrange(20000, 32000)
        wanted = 0
        if port_free(port) and reserve(port):
            return port
    raise Failure("no free port")


def listening(port, address="127.0.0.1"):
    try:
        with socket.create_connection((address, port), timeout=0.5):
            return True
    except OSError:
        return False


def alive(pid):
    # Orphans are reaped late: a zombie counts as gone.
    try:
        with open("/proc/%d/stat" % pid) as f:
            state = f.read().rsplit(")", 1)[1].split()[0]
        return state not in ("Z", "X")
    except (OSError, IndexError):
        return False


class Service:
    def __init__(self, d):
        self.dir = d
        self.pids = []
        self.ports = {}

    def spawn(self, name, args, cwd=None):
        log = open(os.path.join(self.dir, name + ".log"), "ab")
        p = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                             cwd=cwd or self.dir, start_new_session=True, close_fds=True)
        self.pids.append(p.pid)
        with open(os.path.join(self.dir, "pids"), "a") as f:
            f.write("%d\n" % p.pid)
        return p

    def wait_port(self, port, proc, name, address="127.0.0.1"):
        deadline = time.time() + START_TIMEOUT
        while time.time() < deadline:
            if listening(port, address):
                return
            if proc.poll() is not None:
                raise Failure("%s exited with %s: %s" % (name, proc.returncode, self.tail(name)))
            time.sleep(0.05)
        raise Failure("%s does not listen on %d: %s" % (name, port, self.tail(name)))

    def tail(self, name):
        try:
            with open(os.path.join(self.dir, name + ".log"), errors="replace") as f:
                return f.read()[-1500:]
        except OSError:
            return ""


# --- certificates -----------------------------------------------------------

def make_certs(d):
    """A test CA and server certificates: valid for localhost and 127.0.0.1,
    for another host, expired, and self-signed; with their SHA-256 fingerprints."""
    os.makedirs(d, exist_ok=True)
    os.chmod(d, 0o755)
    j = lambda n: os.path.join(d, n)
    tag = "%d-%d" % (os.getpid(), random.randrange(1 << 30))
    run([OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", j("ca.key"), "-out", j("ca.pem"),
         "-days", "30", "-subj", "/CN=Postwarden Test CA %s" % tag,
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"])
    run([OPENSSL, "x509", "-in", j("ca.pem"), "-outform", "DER", "-out", j("ca.der")])
    write(j("ca.cnf"), """[ca]
default_ca = test
[test]
dir = %(d)s
database = %(d)s/index.txt
new_certs_dir = %(d)s
serial = %(d)s/serial
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
[any]
commonName = supplied
""" % {"d": d})
    write(j("index.txt"), "")
    write(j("serial"), "1000\n")
    cases = {
        "good": ("localhost", "DNS:localhost,IP:127.0.0.1,IP:127.0.0.2", None),
        "wronghost": ("wrong.example.test", "DNS:wrong.example.test", None),
        "expired": ("localhost", "DNS:localhost,IP:127.0.0.1", ("20200101000000Z", "20210101000000Z")),
    }
    for name, (cn, san, dates) in cases.items():
        run([OPENSSL, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", j(name + ".key"), "-out", j(name + ".csr"),
             "-subj", "/CN=" + cn, "-addext", "subjectAltName=" + san])
        args = [OPENSSL, "ca", "-batch", "-config", j("ca.cnf"), "-cert", j("ca.pem"), "-keyfile", j("ca.key"),
                "-in", j(name + ".csr"), "-out", j(name + ".pem"), "-notext"]
        args += ["-startdate", dates[0], "-enddate", dates[1]] if dates else ["-days", "30"]
        run(args)
    run([OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", j("selfsigned.key"),
         "-out", j("selfsigned.pem"), "-days", "30", "-subj", "/CN=localhost",
         "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"])
    for name in ("good", "wronghost", "expired", "selfsigned"):
        out = run([OPENSSL, "x509", "-in", j(name + ".pem"), "-noout", "-fingerprint", "-sha256"])
        write(j(name + ".fp"), out.strip().split("=", 1)[1])
        os.chmod(j(name + ".key"), 0o644)  # read by servers that drop privileges


# --- services -----------------------------------------------------------------

def start_tls(s, port, opt):
    """openssl s_server answering each line reversed; 'args' adds options."""
    certs = opt["certdir"]
    cert = opt.get("cert", "good")
    args = [OPENSSL, "s_server", "-accept", "127.0.0.1:%d" % port, "-cert", os.path.join(certs, cert + ".pem"),
            "-key", os.path.join(certs, cert + ".key"), "-rev", "-quiet"]
    if opt.get("args"):
        args += opt["args"].split(",")
    cwd = None
    if opt.get("file"):
        # "GET /data.bin HTTP/1.0" returns that many bytes (0, 1, ... 255, 0, ...) and closes.
        cwd = os.path.join(s.dir, "www")
        os.makedirs(cwd)
        size = int(opt["file"])
        pattern = bytes(range(256)) * 4096
        with open(os.path.join(cwd, "data.bin"), "wb") as f:
            while size > 0:
                size -= f.write(pattern[:min(size, len(pattern))])
        args[args.index("-rev")] = "-WWW"
    s.wait_port(port, s.spawn("s_server", args, cwd=cwd), "s_server")
    s.ports["main"] = port


def start_source(s, port, opt):
    """Plain TCP: every client gets 'bytes' bytes, then the connection closes."""
    proc = s.spawn("source", [sys.executable, os.path.abspath(__file__), "serve-source", "--dir", s.dir,
                              "--port", str(port), "--opt", "bytes=%d" % int(opt.get("bytes", 1 << 20))])
    s.wait_port(port, proc, "source")
    s.ports["main"] = port


def serve_source(port, count):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(8)
    chunk = b"\x5a" * (1 << 16)
    while True:
        conn, _ = listener.accept()
        if os.fork() == 0:
            listener.close()
            left = count
            try:
                while left > 0:
                    left -= conn.send(chunk[:min(left, len(chunk))])
                conn.shutdown(socket.SHUT_WR)
                conn.recv(1)
            except OSError:
                pass
            os._exit(0)
        conn.close()
        try:
            while os.waitpid(-1, os.WNOHANG)[0] > 0:
                pass
        except ChildProcessError:
            pass


def start_ssh_socks(s, port, opt):
    """A private sshd and 'ssh -D': SOCKS 4, 4A and 5 without authentication."""
    d = s.dir
    j = lambda n: os.path.join(d, n)
    os.makedirs("/run/sshd", exist_ok=True)
    run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", j("hostkey")])
    run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", j("clientkey")])
    shutil.copy(j("clientkey.pub"), j("authorized_keys"))
    os.chmod(j("authorized_keys"), 0o644)
    sshport = pick_port()
    write(j("sshd_config"), """Port %d
ListenAddress 127.0.0.1
HostKey %s
PidFile %s
AuthorizedKeysFile %s
StrictModes no
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
AllowTcpForwarding yes
LogLevel ERROR
""" % (sshport, j("hostkey"), j("sshd.pid"), j("authorized_keys")))
    sshd = s.spawn("sshd", ["/usr/sbin/sshd", "-D", "-e", "-f", j("sshd_config")])
    s.wait_port(sshport, sshd, "sshd")
    user = pwd.getpwuid(os.getuid()).pw_name
    ssh = s.spawn("ssh", ["ssh", "-N", "-D", "127.0.0.1:%d" % port, "-p", str(sshport), "-i", j("clientkey"),
                          "-F", "/dev/null", "-o", "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null",
                          "-o", "BatchMode=yes", "-o", "ExitOnForwardFailure=yes", "-o", "LogLevel=ERROR",
                          "%s@127.0.0.1" % user])
    s.wait_port(port, ssh, "ssh")
    s.ports["main"] = port
    s.ports["ssh"] = sshport


def start_microsocks(s, port, opt):
    """SOCKS 5 with user and password (RFC 1929)."""
    args = ["microsocks", "-i", "127.0.0.1", "-p", str(port)]
    if opt.get("user"):
        args += ["-u", opt["user"], "-P", opt.get("password", "")]
    s.wait_port(port, s.spawn("microsocks", args), "microsocks")
    s.ports["main"] = port


def start_squid(s, port, opt):
    """HTTP CONNECT: 'main' without authentication, 'auth' with Basic."""
    d = os.path.join(s.dir, "squid")
    os.makedirs(d)
    os.chmod(d, 0o777)
    authport = pick_port()
    hashed = run([OPENSSL, "passwd", "-1", opt.get("password", "secret")]).strip()
    write(os.path.join(d, "passwd"), "%s:%s\n" % (opt.get("user", "user"), hashed))
    write(os.path.join(d, "squid.conf"), """http_port 127.0.0.1:%(port)d name=open
http_port 127.0.0.1:%(authport)d name=auth
auth_param basic program /usr/lib/squid/basic_ncsa_auth %(d)s/passwd
auth_param basic children 2
auth_param basic realm postwarden-test
acl openport myportname open
acl authport myportname auth
acl authed proxy_auth REQUIRED
http_access allow openport
http_access allow authport authed
http_access deny all
cache deny all
cache_mem 4 MB
pid_filename %(d)s/squid.pid
cache_log %(d)s/cache.log
access_log %(d)s/access.log
cache_store_log none
coredump_dir %(d)s
visible_hostname localhost
shutdown_lifetime 0 seconds
netdb_filename none
""" % {"port": port, "authport": authport, "d": d})
    proc = s.spawn("squid", ["squid", "-N", "-f", os.path.join(d, "squid.conf")])
    s.wait_port(port, proc, "squid")
    s.wait_port(authport, proc, "squid")
    s.ports["main"] = port
    s.ports["auth"] = authport


def start_dovecot(s, port, opt):
    """POP3 on 'main'; with 'certdir' STLS is offered, and 'pop3s' speaks TLS from the first byte.

    'listen' is the address of both listeners (127.0.0.1). With 'plaintext=no'
    USER and PASS are refused before TLS, except to a client that connects
    from the listening address itself, which Dovecot counts as secure: listen
    on 127.0.0.2 to meet a client that comes from 127.0.0.1."""
    address = opt.get("listen", "127.0.0.1")
    d = s.dir
    for sub in ("run", "state", "home"):
        os.makedirs(os.path.join(d, sub))
        os.chmod(os.path.join(d, sub), 0o755)
    user, password = opt.get("user", "user"), opt.get("password", "secret")
    home = os.path.join(d, "home", user)
    os.makedirs(os.path.join(home, "Maildir", "new"))
    os.makedirs(os.path.join(home, "Maildir", "cur"))
    os.makedirs(os.path.join(home, "Maildir", "tmp"))
    run(["chown", "-R", "nobody:nogroup", home])
    write(os.path.join(d, "passwd"), "%s:{PLAIN}%s\n" % (user, password))
    ssl = "no"
    pop3s = 0
    if opt.get("certdir"):
        cert = opt.get("cert", "good")
        ssl = "yes\nssl_cert = <%s\nssl_key = <%s" % (os.path.join(opt["certdir"], cert + ".pem"),
                                                      os.path.join(opt["certdir"], cert + ".key"))
        pop3s = pick_port()
    write(os.path.join(d, "dovecot.conf"), """base_dir = %(d)s/run
state_dir = %(d)s/state
log_path = %(d)s/dovecot.log
protocols = pop3
listen = %(address)s
ssl = %(ssl)s
disable_plaintext_auth = %(noplain)s
auth_mechanisms = %(mechanisms)s
first_valid_uid = 1
mail_max_userip_connections = %(userip)s
default_login_user = dovenull
default_internal_user = dovecot
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%%u %(d)s/passwd
}
userdb {
  driver = static
  args = uid=nobody gid=nogroup home=%(d)s/home/%%u
}
mail_location = maildir:~/Maildir
pop3_uidl_format = %%08Xu%%08Xv
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = %(address)s
    port = %(port)d
  }
  inet_listener pop3s {
    address = %(address)s
    port = %(pop3s)d
  }
}
service anvil {
  chroot =
  # A failed login must not delay the next test's login.
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
""" % {"d": d, "ssl": ssl, "address": address,
       "noplain": "yes" if opt.get("plaintext", "yes") == "no" else "no", "port": port, "pop3s": pop3s,
       # 'userip': sessions of one user from one address at a time (many
       # accounts on one mailbox).
       "userip": opt.get("userip", "10"),
       # 'apop': the greeting carries a time stamp and APOP is accepted.
       "mechanisms": "plain login cram-md5 apop" if opt.get("apop") else "plain"})
    proc = s.spawn("dovecot", ["dovecot", "-F", "-c", os.path.join(d, "dovecot.conf")])
    s.wait_port(port, proc, "dovecot", address)
    s.ports["main"] = port
    if pop3s:
        s.wait_port(pop3s, proc, "dovecot", address)
        s.ports["pop3s"] = pop3s


def start_mailutils(s, port, opt):
    """GNU mailutils pop3d: USER/PASS and APOP for 'user' (an address: its
    domain names the virtual-domain password file), a maildir mailbox at
    home/<local part>/INBOX (files written into new/ end lines with LF only).
    With 'certdir' 'main' offers STLS and 'pop3s' speaks TLS from the first
    byte; without it STLS is refused. Every session's transcript (the
    password masked) goes to pop3d.log. Each multi-line reply takes about
    44 ms (its last segment waits for a delayed ACK): use it for
    conversations, not volume."""
    d = s.dir
    user, password = opt.get("user", "user@example.org"), opt.get("password", "secret")
    local, _, domain = user.partition("@")
    if not domain:
        raise Failure("mailutils: the user name must be an address")
    j = lambda *n: os.path.join(d, *n)
    home = j("home", local)
    for sub in ("domains", "lock", "home"):
        os.makedirs(j(sub))
        os.chmod(j(sub), 0o755)
    for sub in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(home, "INBOX", sub))
    hashed = run([OPENSSL, "passwd", "-6", password]).strip()  # pop3d checks it with crypt(3)
    write(j("domains", domain), "%s:%s:%d:%d::%s:/bin/false\n" % (local, hashed, os.getuid(), os.getgid(), home))
    write(j("apop.txt"), "%s %s\n" % (user, password), 0o600)
    run(["popauth", "--create", "--file", j("apop.txt"), "--output", j("apop.db"), "--permissions", "600"])
    tls = ""
    pop3s = 0
    if opt.get("certdir"):
        cert = opt.get("cert", "good")
        tls = """tls {
  ssl-certificate-file %s;
  ssl-key-file %s;
}
tls-file-checks { key-file none; cert-file none; ca-file none; }
""" % (os.path.join(opt["certdir"], cert + ".pem"), os.path.join(opt["certdir"], cert + ".key"))
        pop3s = pick_port()
    servers = "server 127.0.0.1:%d { transcript yes; tls-mode %s; }\n" % (port, "stls" if pop3s else "false")
    if pop3s:
        servers += "server 127.0.0.1:%d { transcript yes; tls-mode connection; }\n" % pop3s
    write(j("pop3d.conf"), """mode daemon;
foreground yes;
pidfile %(d)s/pop3d.pid;
logging { syslog no; }
auth { authentication generic; authorization virtdomain; }
virtdomain { passwd-dir %(d)s/domains; }
apop-database-file %(d)s/apop.db;
apop-database-safety none;
mandatory-locking { enable yes; lock-directory %(d)s/lock; }
login-delay 0;
timeout 60;
%(tls)s%(servers)s""" % {"d": d, "tls": tls, "servers": servers})
    proc = s.spawn("pop3d", ["pop3d", "--config-file=" + j("pop3d.conf")])
    s.wait_port(port, proc, "pop3d")
    s.ports["main"] = port
    if pop3s:
        s.wait_port(pop3s, proc, "pop3d")
        s.ports["pop3s"] = pop3s


def start_exim(s, port, opt):
    """Exim: SMTP on 'main' (STARTTLS offered when 'certdir' is given, and
    'smtps' speaks TLS from the first byte), AUTH PLAIN, LOGIN and CRAM-MD5
    for 'user'/'password' ('auth' picks some: "plain,login,cram";
    'authtls=1' offers AUTH only inside TLS). Recipients whose local part is
    "bounce5" get 550, "later4" get 451; a sender "refused@..." gets 550 to
    MAIL FROM; a message whose subject contains "reject-data" gets 550 after
    its text. Everything accepted is delivered into Dir()/maildir/new, one
    file per recipient ('queue=1': kept in the spool instead, for speed
    measurements that should not time Exim's deliveries); Exim's log is Dir()/mainlog. Runs as root with -C:
    Exim keeps its privileges for a configuration named by root, no
    trusted_configs needed."""
    d = s.dir
    j = lambda *n: os.path.join(d, *n)
    for sub in ("spool", "maildir"):
        os.makedirs(j(sub))
    os.chmod(j("maildir"), 0o777)
    user, password = opt.get("user", "user"), opt.get("password", "secret")
    for ch in user + password:
        if not (ch.isalnum() or ch in "._-+@"):
            raise Failure("exim: user and password must be plain words")
    tls = ""
    smtps = 0
    if opt.get("certdir"):
        cert = opt.get("cert", "good")
        smtps = pick_port()
        tls = """tls_advertise_hosts = *
tls_certificate = %s
tls_privatekey = %s
tls_on_connect_ports = %d
""" % (os.path.join(opt["certdir"], cert + ".pem"), os.path.join(opt["certdir"], cert + ".key"), smtps)
    else:
        tls = "tls_advertise_hosts =\n"
    advertise = "${if def:tls_in_cipher {*}{}}" if opt.get("authtls") == "1" else "*"
    mechanisms = opt.get("auth", "plain,login,cram").split(",")
    authenticators = {
        "plain": """plain:
  driver = plaintext
  public_name = PLAIN
  server_prompts = :
  server_condition = ${if and {{eq{$auth2}{%(u)s}}{eq{$auth3}{%(p)s}}}}
""",
        "login": """login:
  driver = plaintext
  public_name = LOGIN
  server_prompts = Username:: : Password::
  server_condition = ${if and {{eq{$auth1}{%(u)s}}{eq{$auth2}{%(p)s}}}}
""",
        "cram": """cram:
  driver = cram_md5
  public_name = CRAM-MD5
  server_secret = ${if eq{$auth1}{%(u)s}{%(p)s}fail}
""",
    }
    auth = "".join(authenticators[m] % {"u": user, "p": password} for m in mechanisms if m in authenticators)
    write(j("exim.conf"), """keep_environment =
spool_directory = %(d)s/spool
log_file_path = %(d)s/%%slog
primary_hostname = exim.test
qualify_domain = example.org
local_interfaces = <; 127.0.0.1
%(tls)sauth_advertise_hosts = %(advertise)s
exim_user = root
exim_group = root
never_users =
host_lookup =
rfc1413_hosts =
%(queue)sacl_smtp_mail = acl_mail
acl_smtp_rcpt = acl_rcpt
acl_smtp_data = acl_data
begin acl
acl_mail:
  deny senders = refused@*
       message = sender refused here
  accept
acl_rcpt:
  deny local_parts = bounce5
       message = no such user here
  defer local_parts = later4
       message = mailbox busy, try later
  accept
acl_data:
  deny condition = ${if match{$h_subject:}{reject-data}}
       message = content refused here
  accept
begin routers
all:
  driver = accept
  transport = maildir
begin transports
maildir:
  driver = appendfile
  directory = %(d)s/maildir
  maildir_format
  user = nobody
  group = nogroup
  mode = 0644
  envelope_to_add
  return_path_add
begin authenticators
%(auth)s""" % {"d": d, "tls": tls, "advertise": advertise, "auth": auth,
   "queue": "queue_only = true\n" if opt.get("queue") == "1" else ""})
    ports = "%d:%d" % (port, smtps) if smtps else "%d" % port
    proc = s.spawn("exim", ["/usr/sbin/exim4", "-bdf", "-C", j("exim.conf"), "-oX", ports])
    s.wait_port(port, proc, "exim")
    s.ports["main"] = port
    if smtps:
        s.wait_port(smtps, proc, "exim")
        s.ports["smtps"] = smtps


STARTERS = {
    "exim": start_exim,
    "tls": start_tls,
    "ssh-socks": start_ssh_socks,
    "microsocks": start_microsocks,
    "squid": start_squid,
    "dovecot": start_dovecot,
    "mailutils": start_mailutils,
    "source": start_source,
}


def stop(d):
    pids = []
    try:
        with open(os.path.join(d, "pids")) as f:
            pids = [int(x) for x in f.read().split()]
    except OSError:
        pass
    pids = [p for p in pids if p != os.getpgrp()]  # the watchdog stopping them
    for pid in reversed(pids):
        try:
            os.killpg(pid, signal.SIGTERM)
        except OSError:
            pass
    deadline = time.time() + 5
    while time.time() < deadline and any(alive(p) for p in pids):
        time.sleep(0.05)
    for pid in pids:
        if alive(pid):
            try:
                os.killpg(pid, signal.SIGKILL)
            except OSError:
                pass
    release(d)
    if os.path.basename(d).startswith("pwsvc-"):
        shutil.rmtree(d, ignore_errors=True)


def kill_started(d):
    path = os.path.join(d, "pids")
    if os.path.exists(path):
        for pid in open(path).read().split():
            try:
                os.killpg(int(pid), signal.SIGKILL)
            except OSError:
                pass
        os.remove(path)


def start_with_retry(d, name, port, opt):
    # A port found free can be taken by a parallel test before the server
    # binds it: start again on other ports when that happened.
    for attempt in range(4):
        s = Service(d)
        try:
            STARTERS[name](s, pick_port(port), opt)
            return s
        except Failure as e:
            if attempt == 3 or "in use" not in str(e).lower():
                raise
            kill_started(d)
            port = 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("command", choices=["certs", "start", "stop", "serve-source"])
    ap.add_argument("--dir", required=True)
    ap.add_argument("--name")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--opt", action="append", default=[])
    a = ap.parse_args()
    d = os.path.abspath(a.dir)
    if a.command == "serve-source":
        serve_source(a.port, int(dict(o.split("=", 1) for o in a.opt)["bytes"]))
        return 0
    if a.command == "stop":
        stop(d)
        return 0
    os.makedirs(d, exist_ok=True)
    os.chmod(d, 0o755)
    try:
        if a.command == "certs":
            make_certs(d)
            return 0
        opt = dict(o.split("=", 1) for o in a.opt)
        global reserving_dir
        reserving_dir = d
        s = start_with_retry(d, a.name, a.port, opt)
        # A test that is killed never stops its servers: they stop themselves.
        s.spawn("watchdog", ["/bin/sh", "-c", "sleep %d; exec %s %s stop --dir %s" % (
            int(opt.get("lifetime", 900)), sys.executable, os.path.abspath(__file__), d)])
        write(os.path.join(d, "ports"), "".join("%s %d\n" % kv for kv in s.ports.items()))
        return 0
    except Exception as e:  # reported to the test through the directory
        write(os.path.join(d, "error.txt"), "%s: %s\n" % (type(e).__name__, e))
        if a.command == "start":
            kill_started(d)
        return 1


if __name__ == "__main__":
    sys.exit(main())
