#!/usr/bin/python3
# A stand-in for whisper.cpp's `whisper-server`, for tests. Symlink it as
# `whisper-server` (the process then carries that name) and start it like the
# real program:  whisper-server -m MODEL --host 127.0.0.1 --port PORT -l ja
#
# Like the real server it exits 3 when MODEL is missing or empty (before
# opening the port), 1 when the port cannot be bound, 0 at once on SIGTERM;
# it takes "-t N" and the flag "-ng" (no GPU) as well;
# answers GET / with 200 and other paths with 404; answers POST /inference
# without a "file" part holding a WAV of more than 44 bytes with 400
# "Invalid request"; works on one inference at a time, dropping one whose
# client has gone. Every reply closes its connection.
#
# SAYRI_STANDIN_SCRIPT (optional) names a JSON file, read at every /inference
# request: {"replies": [REPLY, ...]}. The n-th /inference of a process gets
# the n-th REPLY, the last one repeated, else {"text": ""}. REPLY members,
# all optional: "text", "status" (another code), "body" (this exact body),
# "hang" (no reply until the client goes), "delay" (seconds to work before
# replying, holding the one-at-a-time lock), "exit" (exit with this code).
# With "gpuFails": true in the script, a start without "-ng" ends at once
# with 134, as a server whose graphics driver crashes while loading.
# A stand-in started with the preview model (ggml-base.bin) takes its REPLY
# from "previewReplies" instead, when the script has it.
#
# SAYRI_STANDIN_RECORD_DIR (optional), RECORD below, receives starts.jsonl (one
# {"pid", "args"} per start) and 0001.json, 0002.json … per request (across
# restarts): {"path", "headers": {lower-case name: value}, "body",
# "parts": {name: content}}, bodies and contents in base64.
# Standard output gets "request N: METHOD PATH B bytes, received in X ms,
# handled in Y ms, status S" per answered request.
import base64, email.policy, http.server, itertools, json, os, select, signal, socket, sys, threading, time

record_dir = os.environ.get("SAYRI_STANDIN_RECORD_DIR", "")
model = ""  # the -m argument
lock = threading.Lock()  # one inference at a time
request_numbers, inference_numbers = itertools.count(1), itertools.count(0)


def script():
    try:
        with open(os.environ["SAYRI_STANDIN_SCRIPT"], "rb") as f:
            return json.load(f)
    except (KeyError, OSError, ValueError):
        return {}


def parse_form(content_type, body):
    form = email.message_from_bytes(b"Content-Type: " + content_type.encode() + b"\r\n\r\n" + body,
                                    policy=email.policy.HTTP)
    return [(part.get_param("name", header="content-disposition"), part.get_payload(decode=True))
            for part in form.iter_parts()] if form.is_multipart() else []


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def setup(self):
        super().setup()
        self.first_byte = time.monotonic()

    def do_GET(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        self.received, self.body = time.monotonic(), body
        self.number = next(request_numbers)
        form = parse_form(self.headers.get("Content-Type", ""), body) if self.path == "/inference" else []
        self.record(form)
        if self.command == "GET" and self.path == "/":
            return self.reply(200, "text/html", b"<html><title>Whisper.cpp Server</title></html>")
        if self.command != "POST" or self.path != "/inference":
            return self.reply(404, "text/plain", b"File Not Found")
        wav = next((c for name, c in form if name == "file"), b"")
        if len(wav) <= 44 or not wav.startswith(b"RIFF") or wav[8:12] != b"WAVE":
            return self.reply(400, "text/plain", b"Invalid request")
        with lock:
            plan = script()
            preview = "previewReplies" in plan and os.path.basename(model) == "ggml-base.bin"
            replies = plan.get("previewReplies" if preview else "replies", [])
            index = min(next(inference_numbers), len(replies) - 1)
            reply = replies[index] if index >= 0 else {}
            if self.client_gone():
                return
            if reply.get("hang"):
                while not self.client_gone(None):
                    pass
                return
            if "exit" in reply:
                os._exit(reply["exit"])
            time.sleep(reply.get("delay", 0))
            status = reply.get("status", 200)
            text = reply["body"].encode() if "body" in reply else \
                json.dumps({"text": reply.get("text", "")}, ensure_ascii=False, separators=(",", ":")).encode()
            self.reply(status, "application/json" if status == 200 else "text/plain", text)

    do_POST = do_GET

    def client_gone(self, timeout=0):
        if not select.select([self.connection], [], [], timeout)[0]:
            return False
        try:
            return self.connection.recv(1, socket.MSG_PEEK) == b""
        except OSError:
            return True

    def record(self, form):
        if not record_dir:
            return
        b64 = lambda data: base64.b64encode(data).decode()
        text = json.dumps({"path": self.path, "body": b64(self.body),
                           "headers": {k.lower(): v for k, v in self.headers.items()},
                           "parts": {name: b64(content) for name, content in form}}).encode()
        for n in itertools.count(1):  # creating the file is the claim, even across restarts
            try:
                fd = os.open(os.path.join(record_dir, "%04d.json" % n), os.O_CREAT | os.O_EXCL | os.O_WRONLY)
                break
            except FileExistsError:
                pass
        with os.fdopen(fd, "wb") as f:
            f.write(text)

    def reply(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True
        print("request %d: %s %s %d bytes, received in %.2f ms, handled in %.2f ms, status %d" % (
            self.number, self.command, self.path, len(self.body), (self.received - self.first_byte) * 1e3,
            (time.monotonic() - self.received) * 1e3, status), flush=True)


def main():
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    args = sys.argv[1:]
    flags = [a for a in args if a == "-ng"]
    valued = [a for a in args if a != "-ng"]
    options = dict(zip(valued[::2], valued[1::2]))
    if record_dir:
        os.makedirs(record_dir, exist_ok=True)
        with open(record_dir + "/starts.jsonl", "a") as f:
            f.write(json.dumps({"pid": os.getpid(), "args": args}) + "\n")
    if script().get("gpuFails") and not flags:
        print("ggml_vulkan: device lost while loading the model", file=sys.stderr, flush=True)
        return 134
    global model
    model, host, port = options.get("-m", ""), options.get("--host", "127.0.0.1"), int(options.get("--port", 8080))
    if not os.path.isfile(model) or os.path.getsize(model) == 0:
        print("error: failed to load model '%s'" % model, file=sys.stderr, flush=True)
        return 3
    server = http.server.ThreadingHTTPServer((host, port), Handler)  # a port in use: an exception, exit 1
    print("whisper-standin: listening at http://%s:%d" % (host, port), flush=True)
    server.serve_forever()


sys.exit(main())
