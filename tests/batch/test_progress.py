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


def test_a_slurm_arrays_progress_counts_failures_from_the_records(tmp_path):
    """The array's folders are polled: a record whose export succeeded is done, any other record
    done and failed, a folder still runnable without a record waits."""
    from zephor_batch import engines

    class Counts:
        def __init__(self):
            self.seen = []

        def finished(self, ok):
            self.seen.append(ok)

    folders = []
    for name, record in (("ok", "zephor 0\nexport 0\n"), ("failed", "zephor 2\nexport -\n"),
                         ("import", "molecule x\nimport 2\n"), ("waiting", None)):
        folder = tmp_path / name
        folder.mkdir()
        (folder / "FOR005").write_text("x\n0\nH 0 0 0\n")
        if record is not None:
            (folder / "zephor.status").write_text(record)
        folders.append(str(folder))
    counts, polls = Counts(), []
    engines._poll(folders, counts, lambda: polls.append(1) or len(polls) > 1, period=0)
    assert counts.seen == [True, False, False]
