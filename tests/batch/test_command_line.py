"""The command line: what each option takes and the exact reasons given for bad ones."""
import pytest

from zephor_batch.command_line import UsageError, parse


def test_options():
    o = parse(["-o", "out", "-j", "3", "--chunk", "25", "--quiet", "--table", "t.csv", "--no-run", "in.smi"])
    assert (o.input, o.out, o.jobs, o.chunk, o.quiet, o.table, o.run) == ("in.smi", "out", 3, 25, True, "t.csv", False)
    assert parse(["--slurm", "x.sdf"]).slurm
    assert parse(["-j", "2", "--one", "a", "-b"]).one == ["a", "-b"]  # folders after --one are folders
    assert parse(["--", "-odd.smi"]).input == "-odd.smi"
    # values attached, as make, GNU parallel and most programs take them
    o = parse(["-j2", "-oout", "--chunk=25", "--table=t=1.csv", "in.smi"])
    assert (o.jobs, o.out, o.chunk, o.table, o.input) == (2, "out", 25, "t=1.csv", "in.smi")


@pytest.mark.parametrize("argv, reason", [
    ([], ""), (["a", "b"], ""), (["-j", "0", "a"], "-j needs a positive integer, not '0'"),
    (["-j", "-2", "a"], "-j needs a positive integer, not '-2'"), (["--chunk", "1.5", "a"],
     "--chunk needs a positive integer, not '1.5'"), (["-o"], "-o needs a value"),
    (["--frobnicate", "a"], "unknown option --frobnicate"), (["--one"], "--one needs a folder"),
    (["-j0", "a"], "-j needs a positive integer, not '0'"), (["--quiet=1", "a"], "unknown option --quiet=1"),
    (["--slurm", "--sshloginfile", "h", "a"], "--slurm and --sshloginfile are two ways to run: give one")])
def test_bad_command_lines(argv, reason):
    with pytest.raises(UsageError) as e:
        parse(argv)
    assert str(e.value) == reason
