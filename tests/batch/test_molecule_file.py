"""Splitting molecule files: every record kept whole and in order, names, and the records that
cannot be cut out of a file."""
import pytest

from zephor_batch import molecule_file as mf


@pytest.mark.parametrize("text, expected", [
    ("CCO ethanol\n", [("CCO", "ethanol", 1)]),
    ("CCO  ethyl alcohol \n", [("CCO", "ethyl alcohol", 1)]),
    ("# a comment\n\nO\n\tC\tmethane\n", [("O", "", 3), ("C", "methane", 4)]),
    ("O water\r\nN ammonia", [("O", "water", 1), ("N", "ammonia", 2)]),
    ("", []),
])
def test_smiles_lines(text, expected):
    got = mf.split_smiles(text)
    assert [(m.text, m.name, m.line) for m in got] == expected
    assert [m.index for m in got] == list(range(1, len(expected) + 1))


MOL = "water\n  made by hand\n\n  0  0  0  0  0  0  0  0  0  0999 V2000\nM  END\n"


@pytest.mark.parametrize("text, names, ends", [
    (MOL + "$$$$\n" + MOL.replace("water", "ice") + "$$$$\n", ["water", "ice"], 2),
    # A last record without its terminator still counts; blank lines after the last do not.
    (MOL + "$$$$\n" + MOL.replace("water", "ice"), ["water", "ice"], 2),
    (MOL + "$$$$\n\n  \n", ["water"], 1),
    # A doubled terminator is no record.
    (MOL + "$$$$\n$$$$\n" + MOL, ["water", "water"], 2),
    # A record with an empty title line.
    ("\n" + MOL[6:] + "$$$$\n", [""], 1),
])
def test_sdf_records(text, names, ends):
    got = mf.split_sdf(text)
    assert [m.name for m in got] == names
    assert all(m.text.endswith("$$$$\n") for m in got) and len(got) == ends
    assert "".join(m.text for m in got).startswith(text.split("$$$$")[0])


def test_sdf_record_text_is_the_files():
    text = MOL + "$$$$\n" + MOL + "> <charge>\n0\n\n$$$$\n"
    got = mf.split_sdf(text)
    assert "".join(m.text for m in got) == text
    assert [m.line for m in got] == [1, 7]


def test_xyz_blocks_and_a_bad_count():
    text = ("3\nwater\nO 0 0 0\nH 0 0 1\nH 0 1 0\n\n"
            "two\nnot a count\nH 0 0 0\n"
            "2\nhydrogen\nH 0 0 0\nH 0 0 0.74\n"
            "2\ncut\nH 0 0 0\n")
    got = mf.split_xyz(text)
    assert [(m.index, m.name, m.line, bool(m.problem)) for m in got] == [
        (1, "water", 1, False), (2, "", 7, True), (3, "hydrogen", 10, False), (4, "cut", 14, False)]
    assert got[1].problem == "line 7: an atom count was expected, not 'two'"
    assert got[0].text == "3\nwater\nO 0 0 0\nH 0 0 1\nH 0 1 0\n"
    assert got[3].text == "2\ncut\nH 0 0 0\n"  # cut short: zephor-import says so for it alone


@pytest.mark.parametrize("path, fmt", [
    ("a.smi", "smi"), ("a.SMILES", "smi"), ("dir.v2/a.sdf", "sdf"), ("a.sd", "sdf"), ("a.xyz", "xyz"),
    ("a.mol2", None), ("smi", None), ("a.smi.gz", None)])
def test_format_of(path, fmt):
    assert mf.format_of(path) == fmt


@pytest.mark.parametrize("fmt", ["smi", "sdf", "xyz"])
def test_hostile_bytes_split_without_failing(tmp_path, fmt):
    """Any bytes at all (random, and pieces of real records): the split never raises, every
    molecule has a name and text, and no record is lost or made up out of nothing."""
    import random
    rng = random.Random(5)
    pieces = [b"3\n", b"water\n", b"O 0 0 0\n", b"$$$$\n", b"CCO x\n", b"\xff\xfe", b"\r\n", b"\x00", b"  \n", b"-1\n"]
    path = tmp_path / ("f." + fmt)
    for trial in range(150):
        data = b"".join(rng.choice(pieces) if rng.random() < 0.7 else bytes([rng.randrange(256)])
                        for _ in range(rng.randrange(60)))
        path.write_bytes(data)
        got = mf.read_molecules(str(path), fmt)
        assert [m.index for m in got] == list(range(1, len(got) + 1))
        for m in got:
            assert isinstance(m.name, str) and m.text.strip() and m.line >= 1
            assert fmt != "sdf" or m.name != "$$$$"
