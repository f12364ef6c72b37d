#!/usr/bin/python3
"""The bridge in a real browser: headless Chromium driven over its DevTools
protocol, pages served by a local HTTP server under made-up host names that
the browser maps to 127.0.0.1, the bridge on the simulated reader with the
tracer in front so that every device library call is counted.

  browser.py READERBRIDGE DEVICE_DIR TRACER_DIR DEMO_PAGE [SCREENSHOT.png]

Ends with status 0 when every check passed, 77 when Chromium is missing."""
import functools, http.server, json, os, shutil, socket, subprocess, sys, tempfile, threading, time
import urllib.request

import websocket  # Debian's python3-websocket

bridge_program, device_dir, tracer_dir, demo_page = sys.argv[1:5]
screenshot = sys.argv[5] if len(sys.argv) > 5 else None
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


chromium = shutil.which("chromium")
if not chromium:
    print("chromium is not installed")
    sys.exit(77)

work = tempfile.mkdtemp(prefix="bridgetest")
children = []
try:
    bridge_port, http_port, devtools_port = free_port(), free_port(), free_port()
    site = os.path.join(work, "site")
    os.makedirs(site)
    shutil.copy(demo_page, os.path.join(site, "bridge-demo.html"))
    with open(os.path.join(work, "bridge.toml"), "w") as f:
        f.write(f"""port = {bridge_port}
[[origin]]
url = "http://allowed.test:{http_port}"
grants = ["reader", "identity", "bank"]
allow_http = true
[[origin]]
url = "http://full.test:{http_port}"
grants = ["reader", "identity", "full"]
allow_http = true
""")
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass
    handler = functools.partial(Quiet, directory=site)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", http_port), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    trace = os.path.join(work, "device.trace")
    env = dict(os.environ, HOME=os.path.join(work, "home"), XDG_CONFIG_HOME="", XDG_STATE_HOME="",
               LD_LIBRARY_PATH=tracer_dir + ":" + device_dir,
               READER_SPY_LIBRARY=os.path.join(os.path.abspath(device_dir), "libCommonInterface.so"),
               READER_SPY_LOG=trace)
    env.pop("DISPLAY", None)
    bridge_log = open(os.path.join(work, "bridge.log"), "w+")
    bridge = subprocess.Popen([bridge_program, "--foreground", "--no-prompt",
                               "--config", os.path.join(work, "bridge.toml")],
                              env=env, stderr=bridge_log, stdout=bridge_log)
    children.append(bridge)
    check(wait_for(lambda: "listening" in open(bridge_log.name).read()), "the bridge starts")

    def device_calls():
        if not os.path.exists(trace):
            return 0
        return sum(1 for line in open(trace, errors="replace") if line[:1].isdigit() and "Z " in line)

    def log_text():
        return open(bridge_log.name).read()

    # Listening: loopback only, on both addresses.
    listening = subprocess.run(["ss", "-ltnH", f"sport = :{bridge_port}"], capture_output=True, text=True).stdout
    addresses = sorted(line.split()[3].rsplit(":", 1)[0] for line in listening.splitlines())
    check(addresses in (["127.0.0.1"], ["127.0.0.1", "[::1]"]), f"listens on loopback only: {addresses}")

    # Refused handshakes from a client that is not a browser: every header exactly as sent.
    def handshake(origin, host=f"127.0.0.1:{bridge_port}"):
        lines = ["GET / HTTP/1.1", f"Host: {host}", "Upgrade: websocket", "Connection: Upgrade",
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Sec-WebSocket-Version: 13"]
        if origin is not None:
            lines.append(f"Origin: {origin}")
        with socket.create_connection(("127.0.0.1", bridge_port), timeout=5) as s:
            s.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
            return s.recv(4096).decode(errors="replace")

    allowed = f"http://allowed.test:{http_port}"
    check(handshake(allowed).startswith("HTTP/1.1 101"), "the allowed origin is upgraded")
    before = device_calls()
    for name, origin, host in [
            ("missing Origin", None, None), ("null Origin", "null", None),
            ("lookalike prefix", f"http://notallowed.test:{http_port}", None),
            ("lookalike suffix", f"http://allowed.test.evil.test:{http_port}", None),
            ("other port", f"http://allowed.test:{http_port + 1}", None),
            ("other scheme", f"https://allowed.test:{http_port}", None),
            ("trailing dot", f"http://allowed.test.:{http_port}", None),
            ("rebound Host", allowed, f"allowed.test:{bridge_port}")]:
        answer = handshake(origin, host or f"127.0.0.1:{bridge_port}")
        check(answer.startswith("HTTP/1.1 403") and "access-control" not in answer.lower(),
              f"handshake refused: {name}")
    check(device_calls() == before, "refused handshakes call nothing")

    # The browser.
    profile = os.path.join(work, "profile")
    rules = ", ".join(f"MAP {name} 127.0.0.1" for name in
                      ["allowed.test", "full.test", "other.test", "rebind.test"])
    browser = subprocess.Popen([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                "--no-first-run", "--disable-background-networking",
                                "--disable-component-update", "--disable-sync", "--disable-extensions",
                                f"--user-data-dir={profile}", f"--remote-debugging-port={devtools_port}",
                                f"--host-resolver-rules={rules}", "--window-size=800,900", "about:blank"],
                               stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "chromium.log"), "w"))
    children.append(browser)

    def devtools_url():
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{devtools_port}/json/version", timeout=1) as r:
                return json.load(r)["webSocketDebuggerUrl"]
        except OSError:
            return None
    if not wait_for(lambda: devtools_url() is not None, 90):
        check(False, "Chromium starts: " + open(os.path.join(work, "chromium.log")).read()[-2000:])
        sys.exit(1)
    cdp = websocket.create_connection(devtools_url(), timeout=15, suppress_origin=True)
    next_id = [0]

    def command(method, session=None, **params):
        next_id[0] += 1
        message = {"id": next_id[0], "method": method, "params": params}
        if session:
            message["sessionId"] = session
        cdp.send(json.dumps(message))
        while True:
            answer = json.loads(cdp.recv())
            if answer.get("id") == next_id[0]:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer["result"]

    def tab(url):
        target = command("Target.createTarget", url=url)["targetId"]
        session = command("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        # The page's own script has run once its client class exists.
        wait_for(lambda: evaluate(session, "document.readyState == 'complete' && typeof ReaderBridge")
                 == "function")
        return session

    def evaluate(session, expression):
        result = command("Runtime.evaluate", session, expression=expression, awaitPromise=True,
                         returnByValue=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            return {"exception": details.get("exception", {}).get("description", details.get("text"))}
        return result["result"].get("value")

    def page(host):
        return tab(f"http://{host}:{http_port}/bridge-demo.html?port={bridge_port}")

    # Runs calls on a fresh connection of the page; each answer's result or error.
    def run(session, calls, url=None):
        script = """(async () => {
            let b;
            try { b = %s; } catch (e) { return {refused: true}; }
            const out = [];
            for (const [method, params] of %s) {
                try { out.push({result: await b.call(method, params)}); }
                catch (e) { out.push({error: e}); }
            }
            b.close();
            return out;
        })()""" % (f"await new Promise((ok, no) => {{ const s = new WebSocket('{url}');"
                   f" s.onopen = () => ok(new ReaderBridge(s)); s.onerror = () => no(); }})"
                   if url else f"await ReaderBridge.connect({bridge_port})", json.dumps(calls))
        return evaluate(session, script)

    allowed_tab = page("allowed.test")
    answers = run(allowed_tab, [["reader.open", {}], ["identity.read", {}], ["bank.info", {"letters": "AB"}]])
    identity = answers[1].get("result", {})
    check("*" in identity.get("id_number", "") and "*" in identity.get("name", ""),
          f"allowed origin reads the identity card masked: {identity.get('name')} {identity.get('id_number')}")
    check("photo" not in identity, "no photo leaves the bridge")
    check(wait_for(lambda: device_calls() >= 3), "the tracer counts the device calls")
    pan = answers[2].get("result", {}).get("pan", "")
    check("*" in pan and len(pan) > 10, f"bank card data masked: {pan}")

    full_tab = page("full.test")
    answers = run(full_tab, [["reader.open", {}], ["identity.read", {}], ["bank.info", {"letters": "AB"}]])
    unmasked = answers[1].get("result", {})
    check(unmasked.get("id_number", "*").isalnum() and "*" not in unmasked.get("name", "*"),
          f"a full grant reads the identity card unmasked: {answers[1]}")
    check(answers[2].get("error", {}).get("code") == 1, "a grant the origin lacks is refused")

    before = device_calls()
    other_tab = page("other.test")
    check(run(other_tab, [["identity.read", {}]]) == {"refused": True}, "another origin is refused")
    # Rebinding: the page's own name for the loopback, also the allowed origin's.
    for host in ["rebind.test", "allowed.test"]:
        session = other_tab if host == "rebind.test" else allowed_tab
        answer = run(session, [["identity.read", {}]], url=f"ws://{host}:{bridge_port}/")
        check(answer == {"refused": True}, f"a WebSocket to {host}:{bridge_port} is refused: {answer}")
    check(log_text().count("Host is not the loopback address") >= 3, "refused by the Host check")
    check(device_calls() == before, "refused pages call nothing in the device library")

    # Plain HTTP to the port: a form post, an image, fetch(no-cors) and fetch.
    before, refusals = device_calls(), log_text().count("not a WebSocket upgrade")
    evaluate(allowed_tab, """(async () => {
        const form = document.createElement("form");
        form.method = "POST"; form.action = "http://127.0.0.1:%d/"; form.target = "sink";
        form.innerHTML = '<input name="method" value="reader.open"><input name="id" value="1">';
        const frame = document.createElement("iframe"); frame.name = "sink";
        document.body.append(frame, form); form.submit();
        await new Promise(done => { const i = new Image(); i.onload = i.onerror = done; i.src = "http://127.0.0.1:%d/identity.read"; });
        await fetch("http://127.0.0.1:%d/", {method: "POST", mode: "no-cors", body: '{"id":1,"method":"reader.open"}'}).catch(() => 0);
        return true; })()""" % (bridge_port, bridge_port, bridge_port))
    cors = evaluate(allowed_tab, "fetch('http://127.0.0.1:%d/').then(() => 'read', e => 'blocked')" % bridge_port)
    check(cors == "blocked", "a CORS fetch gets nothing")
    check(wait_for(lambda: log_text().count("not a WebSocket upgrade") >= refusals + 4, 5),
          "form post, image and fetches are refused as plain HTTP")
    check(device_calls() == before, "plain HTTP calls nothing")

    # Bad input from a page.
    answers = evaluate(allowed_tab, """(async () => {
        const s = await new Promise(ok => { const s = new WebSocket("ws://127.0.0.1:%d/"); s.onopen = () => ok(s); });
        const out = [];
        s.onmessage = e => out.push(JSON.parse(e.data).error.code);
        s.send("x".repeat(70000)); s.send("{\\"id\\":1,"); s.send('{"id":2,"method":"qr.read","params":{"timeout":"9"}}');
        s.send('{"id":3,"method":"identity.read","params":{"extra":1}}');
        for (let i = 0; i < 250 && out.length < 4; ++i) await new Promise(done => setTimeout(done, 20));
        s.close(); return out; })()""" % bridge_port)
    check(answers == [-32600, -32700, -32602, -32602], f"oversized, broken and mistyped messages are refused: {answers}")

    # Concurrency: a slow reader, two tabs.
    second_tab = page("allowed.test")
    run(allowed_tab, [["reader.open", {"extended": "slow"}]])
    evaluate(allowed_tab, "void (window.first = ReaderBridge.connect(%d).then(b => b.call('identity.read')))" % bridge_port)
    time.sleep(0.3)
    busy = run(second_tab, [["identity.read", {}]])
    check(busy[0].get("error", {}).get("code") == 3, f"a second tab is answered busy: {busy}")
    first = evaluate(allowed_tab, "window.first.then(r => r.id_number, e => e)")
    check("*" in str(first), f"the first tab's read completes: {first}")

    # A card pulled in the middle: the second read finds it gone.
    answers = run(allowed_tab, [["reader.open", {"extended": "removed"}], ["identity.read", {}], ["identity.read", {}]])
    error = answers[2].get("error", {})
    check("result" in answers[1] and error.get("code") == 4 and error.get("device_code") == -23,
          f"a removed card answers a clean error: {error}")

    # The demo page as a person sees it, in a tab of its own.
    demo = page("allowed.test")
    command("Runtime.evaluate", demo, expression="document.getElementById('readIdentity').click()")
    wait_for(lambda: evaluate(demo, "document.getElementById('identity').rows.length") > 0)
    command("Runtime.evaluate", demo, expression="document.getElementById('readBank').click()")
    wait_for(lambda: evaluate(demo, "document.getElementById('bank').rows.length") > 0)
    shown = evaluate(demo, "document.body.innerText")
    check("公民身份号码" in shown and "********" in shown, f"the demo page shows masked data: {shown}")
    if screenshot:
        import base64
        command("Emulation.setDeviceMetricsOverride", demo, width=800, height=580,
                deviceScaleFactor=1, mobile=False)
        data = command("Page.captureScreenshot", demo, format="png")["data"]
        with open(screenshot, "wb") as f:
            f.write(base64.b64decode(data))

    # The person's list of origins and revocation, from the command line.
    stored = os.path.join(work, "home/.config/readerdemo/bridge-consent.json")
    os.makedirs(os.path.dirname(stored), exist_ok=True)
    with open(stored, "w") as f:
        json.dump({"https://hall.example.org": ["identity", "apdu"]}, f)

    def cli(*arguments):
        return subprocess.run([bridge_program, "--config", os.path.join(work, "bridge.toml"), *arguments],
                              env=env, capture_output=True, text=True)
    listed = cli("--origins").stdout
    check(f"{allowed} file reader,identity,bank" in listed
          and "https://hall.example.org always identity\n" in listed, f"--origins lists both: {listed}")
    check([cli("--revoke", "https://hall.example.org").returncode, cli("--revoke", "https://hall.example.org").returncode]
          == [0, 1] and "hall" not in cli("--origins").stdout, "--revoke forgets an origin once")
finally:
    for child in children:
        child.terminate()
        try:
            child.wait(5)
        except subprocess.TimeoutExpired:
            child.kill()
    if failures:
        print(open(os.path.join(work, "bridge.log")).read()[-3000:])
    shutil.rmtree(work, ignore_errors=True)

print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
