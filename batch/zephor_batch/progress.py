"""The progress line on a terminal: molecules done of all, failed, rate and time left, redrawn in
place on standard error at most a few times a second, and ended with a newline."""
import sys
import threading
import time


def clock_text(seconds):
    seconds = int(seconds + 0.5)
    h, rest = divmod(seconds, 3600)
    m, s = divmod(rest, 60)
    return "%d:%02d:%02d" % (h, m, s) if h else "%d:%02d" % (m, s)


def progress_text(done, failed, total, elapsed):
    """e.g. '120/500 done, 3 failed, 41.2/s, 0:09 left'."""
    text = "%d/%d done, %d failed" % (done, total, failed)
    if done and elapsed > 0:
        rate = done / elapsed
        text += ", %.1f/s, %s left" % (rate, clock_text((total - done) / rate))
    return text


class Progress:
    """Counts finished molecules; draws only when 'stream' is a terminal and not quieted."""

    def __init__(self, total, quiet=False, stream=None, interval=0.2):
        self.stream = stream or sys.stderr
        self.shown = not quiet and total > 0 and self.stream.isatty()
        self.total, self.done, self.failed = total, 0, 0
        self.start = time.monotonic()
        self.interval, self.last = interval, 0.0
        self.lock = threading.Lock()
        self.width = 0

    def finished(self, ok):
        with self.lock:
            self.done += 1
            self.failed += 0 if ok else 1
            now = time.monotonic()
            if self.shown and (now - self.last >= self.interval or self.done == self.total):
                self.last = now
                self._draw(now)

    def _draw(self, now):
        text = progress_text(self.done, self.failed, self.total, now - self.start)
        self.stream.write("\r" + text + " " * max(0, self.width - len(text)))
        self.width = len(text)
        self.stream.flush()

    def close(self):
        if self.shown and self.width:
            self.stream.write("\n")
            self.stream.flush()
