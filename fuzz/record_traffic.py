#!/usr/bin/env python3
"""Records the traffic of one real copy run as seed inputs for the fuzz targets.

Usage: record_traffic.py BUILD_DIR OUT_CORPUS_DIR [TRAFFIC_FILE]
Starts the server on a fresh demo hospital, puts a relay in front of it, runs the headless copy
(logged in as ADMIN) and a patient lookup through the relay, and writes every request (after an rpc.open) as a
server_message seed and every answer as a client_packet seed. Loopback only."""
import os, re, socket, subprocess, sys, tempfile, threading, hashlib

build, out = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp()
db = "sqlite:" + os.path.join(work, "demo.db")
subprocess.run([f"{build}/db/rbx53207-db", "demo", db, "--patients", "8", "--date", "2024-03-14"], check=True,
               stdout=subprocess.DEVNULL)
# the operator logs in as at a site: a password of the run's own, read from a 0600 file
password = os.path.join(work, "admin.password")
with open(os.open(password, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
    f.write("senha-da-gravacao\n")
with open(password) as f:
    subprocess.run([f"{build}/db/rbx53207-db", "passwd", db, "ADMIN"], stdin=f, check=True, stdout=subprocess.DEVNULL)
server = subprocess.Popen([f"{build}/server/rbx53207-server", "--database", db, "--listen", "127.0.0.1:0"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
port = int(server.stdout.readline().strip().rsplit(":", 1)[1])

requests, answers = [], []
relay = socket.socket()
relay.bind(("127.0.0.1", 0))
relay.listen(8)

def pump(src, dst, sink):
    buffer = b""
    while True:
        data = src.recv(65536)
        if not data:
            dst.shutdown(socket.SHUT_WR)
            return
        # recorded before it is passed on: the reader may end the run as soon as it has it
        buffer += data
        while b"\n" in buffer:
            line, buffer = buffer.split(b"\n", 1)
            sink.append(line + b"\n")
        dst.sendall(data)

def serve():
    while True:
        client, _ = relay.accept()
        upstream = socket.create_connection(("127.0.0.1", port))
        threading.Thread(target=pump, args=(client, upstream, requests), daemon=True).start()
        threading.Thread(target=pump, args=(upstream, client, answers), daemon=True).start()

threading.Thread(target=serve, daemon=True).start()
relay_port = relay.getsockname()[1]
subprocess.run([f"{build}/copy/rbx53207-copy", "--server", f"127.0.0.1:{relay_port}", "--operator", "ADMIN",
                "--branch", "0001", "--from", "2024-03-14", "--to", "2024-03-15", "--yes", "--password-file", password], check=True,
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
lookup = socket.create_connection(("127.0.0.1", relay_port))
lookup.sendall(b'{"jsonrpc":"2.0","id":1,"method":"rpc.open","params":{"server":"Rbx53207.rdmCopiaForm"}}\n'
               b'{"jsonrpc":"2.0","id":2,"method":"getPaciente","params":[{"text":"0001","byref":true}]}\n')
lookup.shutdown(socket.SHUT_WR)
while lookup.recv(65536):
    pass
server.terminate()
server.wait()

open_line = requests[0]
def write(kind, data):
    os.makedirs(os.path.join(out, kind), exist_ok=True)
    with open(os.path.join(out, kind, hashlib.sha1(data).hexdigest()[:16]), "wb") as f:
        f.write(data)

seen = set()
for line in requests:
    method = line.split(b'"method":"', 1)[-1].split(b'"', 1)[0]
    if method in seen and method not in (b"InsConfesco",):
        continue
    seen.add(method)
    write("server_message", line if method == b"rpc.open" else open_line + line)
# one whole session as it came, cut to the size the target reads
write("server_message", b"".join(requests[:60])[:60000])
kinds = set()
for line in answers:
    key = line[:80]
    if len(line) > 60000 or key in kinds:
        continue
    kinds.add(key)
    write("client_packet", line)
print(f"{len(requests)} requests, {len(answers)} answers recorded")

if len(sys.argv) > 3:
    with open(sys.argv[3], "wb") as f:
        for line in requests + [b"--- answers\n"] + answers:
            # the session and the login's nonces, salts and proofs differ from run to run
            line = re.sub(rb'"session":"[^"]*"', b'"session":""', line)
            f.write(re.sub(rb'"(data|challenge)":"[^"]*"', rb'"\1":""', line))
