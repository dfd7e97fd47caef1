#!/usr/bin/env python3
"""Builds the Debian packages from a built tree and checks them as a site would use them.

cpack on the tree given (nothing is compiled again), then: what each package holds and depends on,
lintian on the packages, the units under systemd-analyze, an install with dpkg, the TLS pair made
for the machine (modes, named by server.conf, made once), the installed server started as its unit
would start it (its account, command line and configuration) and speaking TLS under that
certificate, a demo database made with the installed tool, an operator's password set with it, an
installed headless copy signed in over TLS with the daily unit's credentials and stopped in the
middle by SIGTERM to the server (every service whole or absent), removal (data and configuration
kept) and purge (configuration gone, database kept); then the previous release's packages, kept in
previous/, installed with data, a journaled copy and their server running, and this tree's
installed over them: every row kept, the schema upgraded, the new server serving the old runs.
Needs root; exits 77 (skipped) without it.

usage: tst_packages.py BUILD_DIR
"""
import datetime
import fcntl
import glob
import os
import pwd
import shlex
import shutil
import socket
import sqlite3
import ssl
import subprocess
import sys
import tempfile

SKIP = 77
PACKAGES = ["rbx53207-common", "rbx53207-server", "rbx53207-client"]
USER = "rbx53207"
DATA = "/var/lib/rbx53207"
CONFIG = "/etc/rbx53207"
UNITS = "/usr/lib/systemd/system"
LIBS = "/usr/lib/x86_64-linux-gnu/rbx53207"
TLS = f"{CONFIG}/tls"
BACKUPS = "/var/backups/rbx53207"
BACKUP_SCRIPT = "/usr/libexec/rbx53207/rbx53207-backup"
STOP_BOUND_S = 60  # the unit's TimeoutStopSec
# One run at a time on the machine: runs from two checkouts would install and purge each other's
# packages, account and folders.
MACHINE_LOCK = "/run/lock/rbx53207-tst_packages.lock"
OPERATOR = "ADMIN"
PASSWORD = "Senha-da-copia-diaria-7d1e"
# What the sign-in over TLS needs of the installed programs: without any of these the steps that
# copy and open the screen cannot run, and each absent one counts as a failure.
SIGN_IN_OPTIONS = [("rbx53207-db", "passwd"), ("rbx53207-copy", "--password-file"), ("rbx53207-copy", "--tls-ca"),
                   ("rbx53207-host", "--password-file"), ("rbx53207-host", "--tls-ca")]

EXPECTED = {
    "rbx53207-common": [f"{LIBS}/librbx_protocol.so", f"{LIBS}/librbx_copy_rules.so", f"{LIBS}/librbx_db.so",
                        f"{LIBS}/librbx_contract.so"],
    "rbx53207-server": ["/usr/bin/rbx53207-server", "/usr/bin/rbx53207-db", f"{UNITS}/rbx53207-server.service",
                        f"{CONFIG}/server.conf", "/usr/share/man/man1/rbx53207-server.1.gz",
                        "/usr/share/man/man1/rbx53207-db.1.gz", f"{UNITS}/rbx53207-backup.service",
                        f"{UNITS}/rbx53207-backup.timer", f"{CONFIG}/backup.conf", BACKUP_SCRIPT],
    "rbx53207-client": ["/usr/bin/rbx53207-host", "/usr/bin/rbx53207-copy", f"{LIBS}/libPkg_RBX53207.so",
                        f"{LIBS}/librbx_house.so", f"{LIBS}/librbx_house_widgets.so", f"{LIBS}/librbx_remote.so",
                        f"{LIBS}/librbx_copy.so", f"{UNITS}/rbx53207-copy-daily.service",
                        f"{UNITS}/rbx53207-copy-daily.timer", f"{CONFIG}/copy-daily.conf",
                        "/usr/share/man/man1/rbx53207-host.1.gz", "/usr/share/man/man1/rbx53207-copy.1.gz",
                        "/usr/share/doc/rbx53207-client/examples/rbx53207-host.ini"],
}
DEPENDS = {
    "rbx53207-common": ["libfbclient2", "libqt6sql6-sqlite", "libqt6core6"],
    "rbx53207-server": ["rbx53207-common (=", "adduser", "openssl", "libqt6network6", "libsystemd0", "libsqlite3-0"],
    "rbx53207-client": ["rbx53207-common (=", "qt6-translations-l10n", "libqt6widgets6"],
}

# The three packages of the release before this tree's, as it built them.
PREVIOUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "previous")
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def run(*command, **kwargs):
    kwargs.setdefault("check", True)
    return subprocess.run(list(command), text=True, capture_output=True, **kwargs)


def installed(package):
    status = run("dpkg-query", "-W", "-f=${Status}", package, check=False).stdout
    return "installed" in status or "config-files" in status


def unit_exec_start(unit):
    with open(f"{UNITS}/{unit}") as file:
        lines = [line for line in file.read().splitlines() if line.startswith("ExecStart=")]
    return shlex.split(lines[0][len("ExecStart="):])


def config_value(path, key):
    with open(path) as file:
        for line in file:
            name, _, value = line.partition("=")
            if name.strip() == key and not line.lstrip().startswith(("#", ";")):
                return value.strip()
    return None


def build_packages(build, out):
    result = run("cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", out,
                 cwd=build, check=False)
    if not check(result.returncode == 0, "cpack builds the packages"):
        print(result.stdout, result.stderr)
        return None
    debs = {}
    for name in os.listdir(out):
        if name.endswith(".deb"):
            debs[name.split("_")[0]] = os.path.join(out, name)
    check(sorted(debs) == sorted(PACKAGES), f"one .deb per package: {sorted(debs)}")
    return debs


def check_packages(debs):
    owner = {}
    for package, deb in debs.items():
        listing = run("dpkg-deb", "--contents", deb).stdout.splitlines()
        files = [line.split()[5].lstrip(".") for line in listing if not line.startswith("d")]
        for path in files:
            if path in owner:
                check(False, f"{path} in {owner[path]} and {package}")
            owner[path] = package
        # what Debian asks of every package, a native one's changelog as changelog.gz
        docs = [f"/usr/share/doc/{package}/copyright", f"/usr/share/doc/{package}/changelog.gz"]
        missing = [path for path in EXPECTED[package] + docs if path not in files]
        check(not missing, f"{package} holds its files (missing: {missing})")
        depends = run("dpkg-deb", "-f", deb, "Depends").stdout
        absent = [name for name in DEPENDS[package] if name not in depends]
        check(not absent, f"{package} depends on {DEPENDS[package]} (absent: {absent})")
    conffiles = run("dpkg-deb", "--info", debs["rbx53207-server"], "conffiles").stdout.split()
    check(sorted(conffiles) == [f"{CONFIG}/backup.conf", f"{CONFIG}/server.conf"],
          f"server.conf and backup.conf are conffiles ({conffiles})")
    # Debian's checker: any error or warning fails, overrides (each with its reason) aside
    lintian = run("lintian", "--fail-on", "error,warning", *[debs[p] for p in PACKAGES], check=False)
    tags = [line for line in lintian.stdout.splitlines() if line[:2] in ("E:", "W:")]
    check(lintian.returncode == 0 and not tags,
          f"lintian finds no error or warning ({lintian.returncode}): {tags or lintian.stderr.strip()[-300:]}")


def check_installed(build):
    units = [f"{UNITS}/{unit}" for unit in
             ("rbx53207-server.service", "rbx53207-copy-daily.service", "rbx53207-copy-daily.timer",
              "rbx53207-backup.service", "rbx53207-backup.timer")]
    verify = run("systemd-analyze", "verify", *units, check=False)
    check(verify.returncode == 0 and not verify.stderr.strip(), f"systemd-analyze verify: {verify.stderr.strip()}")
    enabled = [unit for unit in os.listdir("/etc/systemd/system/timers.target.wants")
               if unit.startswith("rbx53207")] if os.path.isdir("/etc/systemd/system/timers.target.wants") else []
    check(not enabled, f"neither the daily copy's nor the backup's timer is enabled by the install: {enabled}")
    for program in ("rbx53207-server", "rbx53207-db", "rbx53207-copy", "rbx53207-host"):
        page = run("man", "--warnings", program, env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80"), check=False)
        check(page.returncode == 0 and not page.stderr.strip() and "NOME" in page.stdout,
              f"man {program} reads cleanly: {page.stderr.strip()[:200]}")
    account = pwd.getpwnam(USER)
    check(account.pw_uid < 1000, f"{USER} is a system account")
    stat = os.stat(DATA)
    check(stat.st_uid == account.pw_uid and stat.st_mode & 0o777 == 0o750, f"{DATA} is {USER}'s, 0750")
    token = os.stat(f"{DATA}/token")
    check(token.st_uid == account.pw_uid and token.st_mode & 0o077 == 0, "the token is the service's alone")
    check_tls_pair(account)
    for program in ("/usr/bin/rbx53207-server", "/usr/bin/rbx53207-host", f"{LIBS}/libPkg_RBX53207.so"):
        dynamic = run("readelf", "-d", program).stdout
        runpath = [line for line in dynamic.splitlines() if "RUNPATH" in line or "RPATH" in line]
        check(runpath and "$ORIGIN" in runpath[0] and build not in runpath[0],
              f"{program} finds its libraries relative to itself: {runpath}")


def check_tls_pair(account):
    """The pair postinst made: the key the service's group may read and nobody else, the
    certificate anyone's, both named by server.conf; a second configure keeps them."""
    key, certificate = os.stat(f"{TLS}/server.key"), os.stat(f"{TLS}/server.crt")
    check(key.st_uid == 0 and key.st_gid == account.pw_gid and key.st_mode & 0o777 == 0o640,
          f"the TLS key is root:{USER} 0640 ({key.st_uid}:{key.st_gid} {key.st_mode & 0o777:o})")
    check(certificate.st_uid == 0 and certificate.st_mode & 0o777 == 0o644,
          f"the TLS certificate is root's, 0644 ({certificate.st_mode & 0o777:o})")
    named = (config_value(f"{CONFIG}/server.conf", "tls-cert"), config_value(f"{CONFIG}/server.conf", "tls-key"))
    check(named == (f"{TLS}/server.crt", f"{TLS}/server.key"), f"server.conf names the pair: {named}")
    names = run("openssl", "x509", "-in", f"{TLS}/server.crt", "-noout", "-ext", "subjectAltName").stdout
    check("DNS:localhost" in names and "IP Address:127.0.0.1" in names and f"DNS:{socket.gethostname()}" in names,
          f"the certificate names the machine, localhost and 127.0.0.1: {' '.join(names.split())}")
    before = [open(f"{TLS}/{name}", "rb").read() for name in ("server.key", "server.crt")]
    # as dpkg runs it, which deb-systemd-helper insists on
    again = run("/var/lib/dpkg/info/rbx53207-server.postinst", "configure", check=False,
                env=dict(os.environ, DPKG_MAINTSCRIPT_PACKAGE="rbx53207-server", DPKG_MAINTSCRIPT_NAME="postinst"))
    after = [open(f"{TLS}/{name}", "rb").read() for name in ("server.key", "server.crt")]
    check(again.returncode == 0 and after == before,
          f"configuring again keeps the pair: {again.returncode} {again.stderr.strip()[:200]}")


def check_serves_tls(address):
    """A TLS client that trusts only the machine's certificate reaches the server by 127.0.0.1 and by
    localhost, names checked; one in clear gets nothing."""
    host, _, port = address.rpartition(":")
    context = ssl.create_default_context(cafile=f"{TLS}/server.crt")
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    for name in ("127.0.0.1", "localhost"):
        try:
            with socket.create_connection((host, int(port)), timeout=10) as raw:
                with context.wrap_socket(raw, server_hostname=name) as tls:
                    check(tls.version() in ("TLSv1.2", "TLSv1.3"), f"the server speaks {tls.version()} as {name}")
        except (OSError, ssl.SSLError) as error:
            check(False, f"the server speaks TLS under the machine's certificate as {name}: {error}")
    with socket.create_connection((host, int(port)), timeout=10) as raw:
        raw.sendall(b'{"jsonrpc":"2.0","id":1,"method":"rpc.open","params":{}}\n')
        raw.settimeout(10)
        try:
            answer = raw.recv(4096)
        except OSError:
            answer = b""
        check(b"jsonrpc" not in answer, f"a client in clear gets no answer: {answer[:80]!r}")


def missing_sign_in_options():
    """The sign-in options the installed programs do not have, from their help."""
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    helps = {}
    missing = []
    for program, option in SIGN_IN_OPTIONS:
        if program not in helps:
            result = run(program, "--help", env=environment, check=False)
            helps[program] = result.stdout + result.stderr
        if option not in helps[program]:
            missing.append(f"{program} {option}")
    return missing


def start_server(log):
    """The unit's command line, account, folder and environment file; only the port is ephemeral."""
    command = unit_exec_start("rbx53207-server.service") + ["--listen", "127.0.0.1:0"]
    server = subprocess.Popen(["setpriv", f"--reuid={USER}", f"--regid={USER}", "--init-groups", "--no-new-privs",
                               *command], cwd=DATA, stdout=subprocess.PIPE, stderr=log, text=True)
    line = server.stdout.readline()
    if not check(line.startswith("listening on "), f"the installed server starts: {line.strip()}"):
        server.kill()
        return None, None
    return server, line.split()[-1]


def check_host_finds_module(work, address, database):
    """The installed host, told nothing of the module, signs in over TLS and loads the installed one."""
    shot = os.path.join(work, "host.png")
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen", LD_DEBUG="files")
    host = run("rbx53207-host", "--operator", OPERATOR, "--server", address, "--database", f"sqlite:{database}",
               "--token-file", f"{DATA}/token", "--password-file", os.path.join(work, "credentials", "password"),
               "--tls-ca", f"{TLS}/server.crt", "--branch", "0001", "--mode", "E", "--screenshot", shot,
               env=environment, check=False)
    said = [line for line in host.stderr.splitlines() if not line.lstrip()[:1].isdigit()]
    check(host.returncode == 0 and os.path.exists(shot), f"the installed host opens the screen: {said[-3:]}")
    loaded = [os.path.realpath(line.partition("calling init: ")[2].strip()) for line in host.stderr.splitlines()
              if "calling init: " in line and "libPkg_RBX53207" in line]
    check(loaded == [f"{LIBS}/libPkg_RBX53207.so"], f"the host loads the module from {LIBS}: {loaded}")


def nightly_backup(database):
    """The backup unit's command as its account runs it: a checked copy of the server's database
    in the backup folder, and a copy older than the days kept removed, a recent one kept."""
    account = pwd.getpwnam(USER)
    stat = os.stat(BACKUPS)
    check(stat.st_uid == account.pw_uid and stat.st_mode & 0o777 == 0o750, f"{BACKUPS} is {USER}'s, 0750")
    old, recent = f"{BACKUPS}/rbx53207-20000101-023000.db", f"{BACKUPS}/rbx53207-20000102-023000.db"
    for path, days in ((old, 8), (recent, 6)):
        shutil.copy(database, path)
        os.chown(path, account.pw_uid, account.pw_gid)
        when = os.path.getmtime(path) - days * 86400
        os.utime(path, (when, when))
    command = unit_exec_start("rbx53207-backup.service")
    result = run("setpriv", f"--reuid={USER}", f"--regid={USER}", "--clear-groups", *command, check=False)
    made = [name for name in os.listdir(BACKUPS) if name.endswith(".db") and f"{BACKUPS}/{name}" not in (old, recent)]
    check(result.returncode == 0 and len(made) == 1 and "cópia de segurança gravada" in result.stdout,
          f"the backup unit's command writes a copy: {made} {result.stdout.strip()} {result.stderr.strip()}")
    check(not os.path.exists(old) and os.path.exists(recent),
          "the backup unit's command removes the copies older than the days kept, and only those")
    if made:
        checked = run("rbx53207-db", "check", f"sqlite:{BACKUPS}/{made[0]}", check=False)
        check(checked.returncode == 0, f"the nightly copy passes its check: {checked.stdout.strip()}")


def services_by_date(database):
    with sqlite3.connect(database) as db:
        return db.execute("""
            SELECT S.DTSERVINTE, S.CDFILIAL, S.CDPACIENTE, S.CDSERVFILI, S.CDDIETPAD,
                   (SELECT COUNT(*) FROM CONFESCO C WHERE C.CDPACIENTE = S.CDPACIENTE AND C.DTSERVINTE = S.DTSERVINTE
                       AND C.NRSEQUSERV = S.NRSEQUSERV AND C.CDFILIAL = S.CDFILIAL)
              FROM SERVINTE S""").fetchall()


def daily_copy(work, address, extra):
    """The daily unit's command line (its configuration names the certificate to trust), with
    systemd's credentials folder (%d) made by hand, the test's server and the operator the site
    names; run as nobody, as a dynamic user would be."""
    credentials = os.path.join(work, "credentials")
    command = [word.replace("%d", credentials) for word in unit_exec_start("rbx53207-copy-daily.service")]
    return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", *command, "--server", address,
            "--operator", OPERATOR, *extra]


def stop_server_mid_copy(work, database, round_name, extra):
    """Starts the installed server, runs the daily copy's command line against it and stops the
    server with SIGTERM once the copy has reported its first service."""
    with open(os.path.join(work, f"server-{round_name}.log"), "w+") as log:
        server, address = start_server(log)
        if not server:
            log.seek(0)
            print(log.read())
            return 0
        if round_name == "server-side":
            check_host_finds_module(work, address, database)
        copy = subprocess.Popen(daily_copy(work, address, extra), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)
        # One service reported, and the output no longer read: the copy can go on only until
        # the pipe is full, far short of the day's services, so the stop lands in its middle.
        first = copy.stdout.readline()
        check(first.startswith("[1/"), f"{round_name}: the copy runs: {first.strip()}")
        server.terminate()
        try:
            code = server.wait(STOP_BOUND_S)
        except subprocess.TimeoutExpired:
            server.kill()
            code = None
        check(code == 0, f"{round_name}: SIGTERM ends the server with exit 0 (got {code})")
        _, errors = copy.communicate(timeout=STOP_BOUND_S)
        check(copy.returncode == 2, f"{round_name}: the interrupted copy fails as a service failure "
                                    f"({copy.returncode}): {errors.strip()[:300]}")
        log.seek(0)
        check("shutting down" in log.read(), f"{round_name}: the server logs its shutdown")
    # the count is written as people read it here: 3.721
    return int(first.partition("/")[2].partition("]")[0].replace(".", "") or 0)


def make_demo_database():
    database = config_value(f"{CONFIG}/server.conf", "database").removeprefix("sqlite:")
    check(database.startswith(DATA + "/"), f"the configured database is under {DATA}: {database}")
    demo = run("runuser", "-u", USER, "--", "rbx53207-db", "demo", f"sqlite:{database}", "--patients", "10000",
               check=False)
    if not check(demo.returncode == 0, f"rbx53207-db demo as {USER}: {demo.stdout.strip()} {demo.stderr.strip()}"):
        return None
    return database


def stop(server):
    server.terminate()
    try:
        server.wait(STOP_BOUND_S)
    except subprocess.TimeoutExpired:
        server.kill()
        server.wait()


def check_installed_server_speaks_tls(work):
    with open(os.path.join(work, "server-tls.log"), "w+") as log:
        server, address = start_server(log)
        if not server:
            log.seek(0)
            print(log.read())
            return
        check_serves_tls(address)
        stop(server)
        log.seek(0)
        check(", TLS" in log.read(), "the server logs that it serves TLS")


def make_credentials(work, database):
    """The operator's password set with the installed tool from standard input, and systemd's
    credentials folder of the daily unit: the server's token and that password."""
    given = run("runuser", "-u", USER, "--", "rbx53207-db", "passwd", f"sqlite:{database}", OPERATOR,
                input=PASSWORD + "\n", check=False)
    check(given.returncode == 0 and PASSWORD not in given.stdout + given.stderr,
          f"rbx53207-db passwd sets {OPERATOR}'s password from standard input: {given.stderr.strip()[:200]}")
    credentials = os.path.join(work, "credentials")
    os.makedirs(credentials)
    shutil.copy(f"{DATA}/token", credentials)
    with open(os.path.join(credentials, "password"), "w") as file:
        file.write(PASSWORD + "\n")
    for folder in (work, credentials):
        os.chmod(folder, 0o755)
    for name in ("token", "password"):
        os.chmod(os.path.join(credentials, name), 0o644)


def check_wrong_password_refused(work):
    """The daily copy with another password copies nothing and never shows either password."""
    wrong = os.path.join(work, "wrong-password")
    with open(wrong, "w") as file:
        file.write("Outra-senha-3b9f\n")
    os.chmod(wrong, 0o644)
    with open(os.path.join(work, "server-wrong.log"), "w+") as log:
        server, address = start_server(log)
        if not server:
            return
        copy = run(*daily_copy(work, address, ["--password-file", wrong]), check=False)
        stop(server)
        log.seek(0)
        said = copy.stdout + copy.stderr + log.read()
        check(copy.returncode != 0 and not copy.stdout.startswith("[1/"),
              f"a wrong password is refused ({copy.returncode}): {copy.stderr.strip()[:200]}")
        check(PASSWORD not in said and "Outra-senha-3b9f" not in said, "no password in the output or the log")


def copy_stopped_by_sigterm(work, database):
    before = services_by_date(database)
    origin_date = max(row[0] for row in before)  # the demo's prescriptions are yesterday's
    origin = {row[1:5]: row[5] for row in before if row[0] == origin_date}
    # The server's own copy of each service, then the classic calls in a client transaction per
    # service, stopped again on the same destination.
    for round_name, extra in (("server-side", []), ("call-by-call", ["--call-by-call"])):
        day = stop_server_mid_copy(work, database, round_name, extra)
        copied = [row for row in services_by_date(database) if row not in before]
        check(0 < len(copied) < day, f"{round_name}: stopped in the middle: {len(copied)} of {day} services copied")
        keys = [row[:5] for row in copied]
        half = [row for row in copied if origin.get(row[1:5]) != row[5]]
        check(not half and len(keys) == len(set(keys)),
              f"{round_name}: every service whole or absent (half-copied: {half[:5]})")


def every_row(database):
    """Every table's rows but the schema's record of its versions, in a stable order."""
    with sqlite3.connect(database) as db:
        tables = [name for (name,) in db.execute("SELECT name FROM sqlite_master WHERE type = 'table'")
                  if name not in ("VERSAOESQUEMA", "sqlite_sequence")]
        return {table: sorted(db.execute(f"SELECT * FROM {table}").fetchall(), key=repr) for table in tables}


def copy_command(address, *extra):
    return ["rbx53207-copy", "--server", address, "--operator", OPERATOR, "--branch", "0001",
            "--token-file", f"{DATA}/token", "--tls-ca", f"{TLS}/server.crt", "--password-file",
            f"{DATA}/upgrade-password", *extra]


def check_upgrade_with_data(work, debs):
    old = sorted(glob.glob(os.path.join(PREVIOUS, "*.deb")))
    if not check(len(old) == len(PACKAGES), f"the previous release's packages are in {PREVIOUS}: {old}"):
        return
    installed_old = run("dpkg", "-i", *old, check=False)
    if not check(installed_old.returncode == 0, f"the previous release installs: {installed_old.stderr[-300:]}"):
        return
    database = config_value(f"{CONFIG}/server.conf", "database").removeprefix("sqlite:")
    made = run("runuser", "-u", USER, "--", "rbx53207-db", "demo", f"sqlite:{database}", "--patients", "60",
               check=False)
    run("runuser", "-u", USER, "--", "rbx53207-db", "passwd", f"sqlite:{database}", OPERATOR,
        input=PASSWORD + "\n", check=False)
    with open(f"{DATA}/upgrade-password", "w") as file:
        file.write(PASSWORD + "\n")
    with open(os.path.join(work, "server-old.log"), "w+") as log:
        server, address = start_server(log)
        if not check(made.returncode == 0 and server is not None, "the previous release's server serves its demo"):
            return
        yesterday = (datetime.date.today() - datetime.timedelta(days=1)).isoformat()
        today = datetime.date.today().isoformat()
        copied = run(*copy_command(address, "--from", yesterday, "--to", today, "--yes"), check=False)
        check(copied.returncode == 0, f"the previous release copies a day: {copied.stderr.strip()[:300]}")
        before = every_row(database)
        # the new packages over the old ones, their server still running
        upgraded = run("dpkg", "-i", *[debs[p] for p in PACKAGES], check=False)
        check(upgraded.returncode == 0, f"the packages upgrade over a running installation: {upgraded.stderr[-300:]}")
        stop(server)
    after = every_row(database)
    check(after == before, "the upgrade keeps every row of every table: "
          + str([table for table in before if before[table] != after.get(table)]))
    with sqlite3.connect(database) as db:
        version = db.execute("SELECT MAX(NRVERSAO) FROM VERSAOESQUEMA").fetchone()[0]
    check(version == 2, f"the package's upgrade brought the schema to version 2 (at {version})")
    taken = glob.glob(f"{BACKUPS}/rbx53207-antes-de-0.1-*.db")
    check(len(taken) == 1 and every_row(taken[0]) == before, f"the upgrade took a backup of the data first: {taken}")
    with open(os.path.join(work, "server-new.log"), "w+") as log:
        server, address = start_server(log)
        if not check(server is not None, "the new server serves the upgraded database"):
            log.seek(0)
            print(log.read())
            return
        runs = run(*copy_command(address, "--list-runs"), check=False)
        check(runs.stdout.startswith("1 ") and "concluída" in runs.stdout,
              f"the previous release's run is listed: {runs.stdout.strip()[:200]} {runs.stderr.strip()[:200]}")
        undone = run(*copy_command(address, "--undo", "1", "--yes"), check=False)
        check(undone.returncode == 0, f"and undone: {undone.stdout.strip()[-200:]} {undone.stderr.strip()[:200]}")
        stop(server)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    if os.geteuid() != 0:
        print("SKIP: installing packages, a system account and a service folder needs root")
        return SKIP
    lock = open(MACHINE_LOCK, "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    leftovers = [p for p in PACKAGES if installed(p)] + [d for d in (DATA, CONFIG, BACKUPS) if os.path.exists(d)]
    if leftovers:
        print(f"FAIL  refusing to touch an existing installation: {leftovers}")
        return 1
    had_user = run("getent", "passwd", USER, check=False).returncode == 0
    work = tempfile.mkdtemp(prefix="tst_packages.")
    try:
        debs = build_packages(build, os.path.join(work, "packages"))
        if not debs:
            return 1
        check_packages(debs)
        result = run("dpkg", "-i", *[debs[p] for p in PACKAGES], check=False)
        if not check(result.returncode == 0, "dpkg -i installs the three packages"):
            print(result.stdout, result.stderr)
            return 1
        check_installed(build)
        database = make_demo_database()
        if database:
            nightly_backup(database)
            check_installed_server_speaks_tls(work)
            missing = missing_sign_in_options()
            # The copies and the screen sign in; programs that cannot are reported, not run.
            if check(not missing, f"the installed programs sign in over TLS (missing: {missing})"):
                make_credentials(work, database)
                check_wrong_password_refused(work)
                copy_stopped_by_sigterm(work, database)

        # the site's password file of the daily copy, as README has it made
        with open(f"{CONFIG}/copy-daily.password", "w") as file:
            file.write(PASSWORD + "\n")
        os.chmod(f"{CONFIG}/copy-daily.password", 0o600)
        # the site turns the server and the daily copy on, as README says
        enabled = run("systemctl", "enable", "rbx53207-server.service", "rbx53207-copy-daily.timer", check=False)
        links = ["/etc/systemd/system/multi-user.target.wants/rbx53207-server.service",
                 "/etc/systemd/system/timers.target.wants/rbx53207-copy-daily.timer"]
        check(all(os.path.islink(link) for link in links), f"systemctl enable links the units: {enabled.stderr.strip()}")
        run("dpkg", "-r", *reversed(PACKAGES))
        check(not os.path.exists("/usr/bin/rbx53207-server"), "removal takes the programs")
        check(not any(os.path.lexists(link) for link in links), "removal disables the units the site enabled")
        check(os.path.exists(f"{CONFIG}/server.conf"), "removal keeps the configuration")
        check(database is not None and os.path.exists(database), "removal keeps the database")
        run("dpkg", "-P", *reversed(PACKAGES))
        check(not os.path.exists(CONFIG), "purge takes the configuration")
        check(database is not None and os.path.exists(database) and os.path.exists(f"{DATA}/token"),
              "purge keeps the database and the token")
        check(os.path.isdir(BACKUPS) and any(name.endswith(".db") for name in os.listdir(BACKUPS)),
              "purge keeps the backups")
        shutil.rmtree(DATA, ignore_errors=True)
        check_upgrade_with_data(work, debs)
    finally:
        for package in reversed(PACKAGES):
            if installed(package):
                run("dpkg", "-P", package, check=False)
        shutil.rmtree(DATA, ignore_errors=True)
        shutil.rmtree(CONFIG, ignore_errors=True)
        shutil.rmtree(BACKUPS, ignore_errors=True)
        if not had_user and run("getent", "passwd", USER, check=False).returncode == 0:
            run("deluser", "--system", "--quiet", USER, check=False)
            run("delgroup", "--system", "--quiet", USER, check=False)
        shutil.rmtree(work, ignore_errors=True)
    print(f"{len(failures)} checks failed" if failures else "all package checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
