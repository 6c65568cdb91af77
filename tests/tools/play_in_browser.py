#!/usr/bin/env python3
"""Plays a video file in headless Chromium and tells whether it played to its end.

    play_in_browser.py [--rate R] [--timeout S] [--chromium PATH] FILE

A private HTTP server on 127.0.0.1 (a free port) serves a page with a <video> element, the file
itself (with byte ranges, as a web server would, so that a file whose index is at its end can
still be played), and takes the page's reports: the page posts once when the file's details
are known and once when the playback ends, fails or a frame reaches the page. Chromium runs
headless with a private profile, autoplay allowed without a gesture, no sound device (the
sound is still decoded) and every host name but the loopback address unresolvable.

Prints one line:

    result=ended duration=3.000 position=3.000 size=320x240 frames=90 dropped=0
        video_bytes=... audio_bytes=... error=none seconds=2.1

(on one line) and exits 0 only when the file played to its end without an error, showing a
picture (and, with --expect-sound, with sound; with --expect-duration, as long as expected).
`result` is ended, error, incomplete (played to its end without a picture, the sound asked for
or the duration expected), timeout or crashed (the browser went away without an answer); on an
error, `error=` names the media error's code and carries its message. Exit codes: 0 played, 1 not
played, 2 bad arguments, 77 no browser.
"""

import argparse
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

# The page plays the file once at the chosen rate and posts what it saw. Chromium's
# webkit*DecodedByteCount tell whether the sound (and the picture) were decoded at all.
PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>play</title></head>
<body>
<video id="v" preload="auto" autoplay playsinline></video>
<script>
const v = document.getElementById('v');
const rate = RATE;
let done = false;
function facts() {
  const q = v.getVideoPlaybackQuality ? v.getVideoPlaybackQuality() : null;
  return {
    duration: v.duration, position: v.currentTime,
    width: v.videoWidth, height: v.videoHeight,
    frames: q ? q.totalVideoFrames : -1, dropped: q ? q.droppedVideoFrames : -1,
    video_bytes: v.webkitVideoDecodedByteCount, audio_bytes: v.webkitAudioDecodedByteCount,
  };
}
function post(kind, extra) {
  // Infinity and NaN do not survive JSON: send them as strings.
  const body = JSON.stringify(Object.assign({kind: kind}, facts(), extra || {}),
      (k, x) => (typeof x === 'number' && !isFinite(x)) ? String(x) : x);
  return fetch('/report', {method: 'POST', body: body});
}
function finish(kind, extra) {
  if (done) return;
  done = true;
  post(kind, extra);
}
function mediaError() {
  const e = v.error;
  if (!e) return {error: 'unknown'};
  const names = {1: 'MEDIA_ERR_ABORTED', 2: 'MEDIA_ERR_NETWORK', 3: 'MEDIA_ERR_DECODE',
                 4: 'MEDIA_ERR_SRC_NOT_SUPPORTED'};
  return {error: (names[e.code] || 'code ' + e.code) + ': ' + (e.message || '')};
}
v.addEventListener('loadedmetadata', () => { v.playbackRate = rate; post('metadata'); });
v.addEventListener('ended', () => {
  // An error may come with the end (a decoder that gave up on the last frames).
  if (v.error) finish('error', mediaError()); else finish('ended', {error: 'none'});
});
v.addEventListener('error', () => finish('error', mediaError()));
v.src = '/video';
v.play().catch((e) => {
  // A refused play() (autoplay policy) is a failure too, unless a media error explains it.
  setTimeout(() => finish('error', v.error ? mediaError() : {error: 'play(): ' + e}), 100);
});
</script>
</body></html>
"""


class Session:
    """What the page has reported, shared between the server's thread and the main one."""

    def __init__(self):
        self.lock = threading.Condition()
        self.metadata = None
        self.final = None


def make_handler(video_path, page, session):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_GET(self):
            path = urllib.parse.urlparse(self.path).path
            if path == '/':
                body = page.encode()
                self.send_response(200)
                self.send_header('Content-Type', 'text/html; charset=utf-8')
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)
            elif path == '/video':
                self.send_video()
            else:
                self.send_error(404)

        def send_video(self):
            size = os.path.getsize(video_path)
            start, end = 0, size - 1
            status = 200
            ranged = self.headers.get('Range')
            if ranged and ranged.startswith('bytes='):
                first, _, last = ranged[len('bytes='):].split(',')[0].partition('-')
                try:
                    if first:
                        start = int(first)
                        if last:
                            end = min(int(last), size - 1)
                    elif last:  # the last N bytes
                        start = max(0, size - int(last))
                except ValueError:
                    self.send_error(400)
                    return
                if start >= size or start > end:
                    self.send_response(416)
                    self.send_header('Content-Range', 'bytes */%d' % size)
                    self.send_header('Content-Length', '0')
                    self.end_headers()
                    return
                status = 206
            self.send_response(status)
            self.send_header('Content-Type', content_type(video_path))
            self.send_header('Accept-Ranges', 'bytes')
            self.send_header('Content-Length', str(end - start + 1))
            if status == 206:
                self.send_header('Content-Range', 'bytes %d-%d/%d' % (start, end, size))
            self.end_headers()
            try:
                with open(video_path, 'rb') as f:
                    f.seek(start)
                    left = end - start + 1
                    while left > 0:
                        chunk = f.read(min(left, 1 << 20))
                        if not chunk:
                            break
                        self.wfile.write(chunk)
                        left -= len(chunk)
            except (BrokenPipeError, ConnectionResetError):
                pass  # the browser has read what it wanted and closed the connection

        def do_POST(self):
            length = int(self.headers.get('Content-Length', '0'))
            try:
                report = json.loads(self.rfile.read(length) or b'{}')
            except ValueError:
                report = {'kind': 'error', 'error': 'unreadable report'}
            self.send_response(204)
            self.end_headers()
            with session.lock:
                if report.get('kind') == 'metadata':
                    session.metadata = report
                elif session.final is None:
                    session.final = report
                session.lock.notify_all()

    return Handler


def content_type(path):
    ending = os.path.splitext(path)[1].lower()
    return {'.mp4': 'video/mp4', '.m4v': 'video/mp4', '.mkv': 'video/x-matroska',
            '.webm': 'video/webm'}.get(ending, 'application/octet-stream')


def chromium_command(chromium, profile, url):
    command = [
        chromium, '--headless', '--user-data-dir=' + profile,
        '--autoplay-policy=no-user-gesture-required',
        # No sound device here: a fake output keeps the playback clock running.
        '--disable-audio-output',
        '--no-first-run', '--no-default-browser-check', '--disable-extensions',
        '--disable-background-networking', '--disable-component-update', '--disable-sync',
        '--disable-default-apps', '--disable-breakpad', '--metrics-recording-only',
        '--disable-dev-shm-usage', '--disable-gpu', '--mute-audio',
        '--no-proxy-server', '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1',
        # A page in the background must not be slowed down.
        '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
        '--disable-backgrounding-occluded-windows',
    ]
    if os.geteuid() == 0:
        command.append('--no-sandbox')  # the sandbox refuses to run as root
    command.append(url)
    return command


def number(report, key):
    try:
        return float(report.get(key))
    except (TypeError, ValueError):
        return float('nan')


def shortfall(report, args):
    """Why a playback that reached its end still does not count; empty when it does."""
    # The browser plays the sound alone, to its end and without an error, when it cannot
    # decode the picture: a video file must show one.
    if not report.get('width') or not report.get('frames'):
        return 'no picture was decoded'
    if args.expect_sound and not report.get('audio_bytes'):
        return 'no sound was decoded'
    if args.expect_duration is not None:
        duration = number(report, 'duration')
        if not abs(duration - args.expect_duration) <= args.tolerance:
            return 'duration %.3f s, expected %.3f s' % (duration, args.expect_duration)
    return ''


def describe(result, report, seconds):
    report = report or {}
    fields = [
        'result=' + result,
        'duration=%.3f' % number(report, 'duration'),
        'position=%.3f' % number(report, 'position'),
        'size=%sx%s' % (report.get('width', 0), report.get('height', 0)),
        'frames=%s' % report.get('frames', -1),
        'dropped=%s' % report.get('dropped', -1),
        'video_bytes=%s' % report.get('video_bytes', 0),
        'audio_bytes=%s' % report.get('audio_bytes', 0),
    ]
    error = str(report.get('error', 'none' if result == 'ended' else result))
    fields.append('error=' + ' '.join(error.split()))  # one line whatever the message holds
    fields.append('seconds=%.1f' % seconds)
    # error= may hold spaces: it comes last but one, seconds last, so both stay readable.
    return ' '.join(fields)


def main():
    parser = argparse.ArgumentParser(description='Plays FILE in headless Chromium to its end.')
    parser.add_argument('file')
    parser.add_argument('--rate', type=float, default=1.0,
                        help='playback rate (default 1: real time)')
    parser.add_argument('--timeout', type=float, default=0,
                        help='seconds to wait in all (default: 30 to start, then the '
                        'duration at the rate, plus half of it, plus 20)')
    parser.add_argument('--expect-sound', action='store_true',
                        help='fail when no sound was decoded (the browser plays a file whose '
                        'sound it cannot decode without it, in silence)')
    parser.add_argument('--expect-duration', type=float, metavar='SECONDS',
                        help='fail when the duration differs by more than --tolerance')
    parser.add_argument('--tolerance', type=float, default=0.1, metavar='SECONDS')
    parser.add_argument('--chromium', default=os.environ.get('CHROMIUM', '/usr/bin/chromium'))
    parser.add_argument('--keep-log', action='store_true',
                        help="print the browser's own messages to stderr")
    args = parser.parse_args()
    if not os.path.isfile(args.file) or not os.access(args.file, os.R_OK):
        print('play_in_browser: cannot read %s' % args.file, file=sys.stderr)
        return 2
    if args.rate <= 0 or args.rate > 16:
        print('play_in_browser: --rate must be above 0 and at most 16', file=sys.stderr)
        return 2
    if not (os.path.isfile(args.chromium) and os.access(args.chromium, os.X_OK)):
        print('play_in_browser: no browser at %s' % args.chromium, file=sys.stderr)
        return 77

    started = time.monotonic()
    session = Session()
    page = PAGE.replace('RATE', repr(args.rate))
    server = http.server.ThreadingHTTPServer(
        ('127.0.0.1', 0), make_handler(os.path.abspath(args.file), page, session))
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = 'http://127.0.0.1:%d/' % server.server_address[1]

    work = tempfile.mkdtemp(prefix='play-in-browser-')
    log_path = os.path.join(work, 'chromium.log')
    browser = None
    result, report = 'timeout', None
    try:
        with open(log_path, 'wb') as log:
            # A session of its own, so that the browser's helper processes end with it.
            # Its temporary files go into the private folder too, which is removed at the end
            # (a browser that is stopped leaves some behind).
            env = dict(os.environ, TMPDIR=work)
            browser = subprocess.Popen(
                chromium_command(args.chromium, os.path.join(work, 'profile'), url),
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=env,
                start_new_session=True)
        deadline = started + (args.timeout or 30)
        extended = False
        with session.lock:
            while True:
                if session.final is not None:
                    report = session.final
                    result = 'ended' if report.get('kind') == 'ended' else 'error'
                    break
                if not args.timeout and session.metadata is not None and not extended:
                    # Once the length is known, the playback gets as long as it needs.
                    extended = True
                    length = number(session.metadata, 'duration')
                    if length == length and length != float('inf'):  # known and finite
                        deadline = max(deadline, time.monotonic() + length / args.rate * 1.5 + 20)
                if browser.poll() is not None:
                    result, report = 'crashed', session.metadata
                    break
                now = time.monotonic()
                if now >= deadline:
                    result, report = 'timeout', session.metadata
                    break
                session.lock.wait(min(0.2, deadline - now))
    finally:
        # What the browser said up to the answer; its complaints while it is stopped are noise.
        try:
            said = os.path.getsize(log_path)
        except OSError:
            said = 0
        if browser is not None and browser.poll() is None:
            try:
                os.killpg(browser.pid, signal.SIGTERM)
                browser.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(browser.pid, signal.SIGKILL)
                browser.wait()
            except ProcessLookupError:
                pass
        server.shutdown()
        server.server_close()
        if result != 'ended' or args.keep_log:
            try:
                with open(log_path, errors='replace') as log:
                    lines = log.read(said if not args.keep_log else -1).splitlines()
                # Without a session or system bus the browser complains on every call it tries.
                lines = [line for line in lines if args.keep_log or 'dbus/' not in line]
                for line in lines[-20 if not args.keep_log else 0:]:
                    print('chromium: ' + line, file=sys.stderr)
            except OSError:
                pass
        shutil.rmtree(work, ignore_errors=True)

    if result == 'ended':
        problem = shortfall(report, args)
        if problem:
            result, report = 'incomplete', dict(report, error=problem)
    print(describe(result, report, time.monotonic() - started))
    sys.stdout.flush()
    return 0 if result == 'ended' else 1


if __name__ == '__main__':
    sys.exit(main())
