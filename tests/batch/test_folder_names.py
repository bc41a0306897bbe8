"""Folder names: safe on every file system, never hidden or option-like, in file order."""
import pytest

from zephor_batch.folder_names import folder_name, safe_name


@pytest.mark.parametrize("name, safe", [
    ("aspirin", "aspirin"), ("acetic acid", "acetic_acid"), ("2,4-D / ester", "2_4-D_ester"),
    ("../../etc/passwd", "etc_passwd"), ("-rf", "rf"), (".hidden", "hidden"), ("", "mol"), ("***", "mol"),
    ("Ĉafeino", "afeino"), ("x" * 60, "x" * 40), ("a" * 39 + ".b", "a" * 39), ("con:nul", "con_nul")])
def test_safe_name(name, safe):
    assert safe_name(name) == safe


def test_name_order_is_file_order():
    for count in (9, 9999, 10000, 123456):
        names = [folder_name(i, "m", count) for i in sorted({1, 2, min(10, count), count})]
        assert names == sorted(names)
    assert folder_name(7, "water", 50) == "0007-water"
    assert folder_name(7, "water", 10000) == "00007-water"
