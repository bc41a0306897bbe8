"""The progress line's text, and that it is drawn only on a terminal and not when quieted."""
import io

from zephor_batch.progress import Progress, clock_text, progress_text


def test_progress_text():
    assert progress_text(0, 0, 50, 0.0) == "0/50 done, 0 failed"
    assert progress_text(10, 2, 50, 4.0) == "10/50 done, 2 failed, 2.5/s, 0:16 left"
    assert progress_text(50, 0, 50, 10.0) == "50/50 done, 0 failed, 5.0/s, 0:00 left"
    assert clock_text(3725) == "1:02:05" and clock_text(59.6) == "1:00"


class Terminal(io.StringIO):
    def isatty(self):
        return True


def test_drawn_only_on_a_terminal():
    for stream, quiet, drawn in ((Terminal(), False, True), (Terminal(), True, False), (io.StringIO(), False, False)):
        p = Progress(3, quiet, stream, interval=0)
        for ok in (True, False, True):
            p.finished(ok)
        p.close()
        text = stream.getvalue()
        assert bool(text) == drawn
        if drawn:
            assert text.startswith("\r1/3 done, 0 failed") and text.endswith("3/3 done, 1 failed, " +
                                                                              text.split(", ")[-2] + ", 0:00 left\n")
