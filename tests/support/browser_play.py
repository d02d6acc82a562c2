#!/usr/bin/env python3
"""Plays a video to its end in headless Chromium, driven through
chromedriver's WebDriver protocol (the standard library only), and prints
what the page's <video> element saw as one JSON line:
  {"state": "ended", "t": 6.0, "d": 6.0, "frames": 150, "corrupted": 0, ...}
or {"state": "error", "code": 3, "msg": "..."}; {"state": "timeout"} when it
neither ends nor fails in time. Exit status 2 when Chromium cannot be run.
  browser_play.py FILE [RATE]
RATE (default 4) is the playback rate, so that a long clip takes less time;
Chromium still decodes every frame, dropping some from the screen only."""
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    video = os.path.abspath(sys.argv[1])
    rate = float(sys.argv[2]) if len(sys.argv) > 2 else 4.0
    port = free_port()
    base = "http://127.0.0.1:%d" % port
    try:
        driver = subprocess.Popen(["chromedriver", "--port=%d" % port],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError as e:
        print(json.dumps({"state": "no browser", "msg": str(e)}))
        return 2

    def call(method, path, body=None):
        req = urllib.request.Request(base + path, method=method,
                                     data=None if body is None else json.dumps(body).encode(),
                                     headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(req, timeout=120) as r:
            return json.load(r)["value"]

    with tempfile.TemporaryDirectory() as home:
        try:
            for _ in range(300):
                try:
                    urllib.request.urlopen(base + "/status", timeout=1)
                    break
                except OSError:
                    time.sleep(0.1)
            args = ["--headless=new", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + home,
                    "--autoplay-policy=no-user-gesture-required", "--allow-file-access-from-files"]
            session = call("POST", "/session", {"capabilities": {"alwaysMatch": {
                "goog:chromeOptions": {"binary": "/usr/bin/chromium", "args": args}}}})["sessionId"]
            page = os.path.join(home, "play.html")
            with open(page, "w") as f:
                f.write("""<!doctype html><video id=v muted playsinline></video><script>
const v = document.getElementById('v');
window.result = {state: 'loading'};
v.onerror = () => { result = {state: 'error', code: v.error.code, msg: v.error.message, t: v.currentTime}; };
v.onended = () => {
  const q = v.getVideoPlaybackQuality();
  result = {state: 'ended', t: v.currentTime, d: v.duration, frames: q.totalVideoFrames,
            corrupted: q.corruptedVideoFrames, width: v.videoWidth, height: v.videoHeight};
};
v.oncanplay = () => { v.playbackRate = %s; v.play().catch(e => { result = {state: 'error', msg: String(e)}; }); };
v.src = %s;
</script>""" % (rate, json.dumps("file://" + video)))
            call("POST", "/session/%s/url" % session, {"url": "file://" + page})
            result = {"state": "timeout"}
            deadline = time.monotonic() + 300
            while time.monotonic() < deadline:
                r = call("POST", "/session/%s/execute/sync" % session, {"script": "return window.result", "args": []})
                if r["state"] != "loading":
                    result = r
                    break
                time.sleep(0.1)
            call("DELETE", "/session/%s" % session)
        except (OSError, KeyError, ValueError) as e:
            print(json.dumps({"state": "no browser", "msg": str(e)}))
            return 2
        finally:
            driver.kill()
            driver.wait()
    print(json.dumps(result))
    return 0


if __name__ == "__main__":
    sys.exit(main())
