"""The table's own derivations: the formula, the values of a result, the JSON Lines companion."""
import json

import pytest

from zephor_batch import table


@pytest.mark.parametrize("symbols, formula", [
    (["O", "H", "H"], "H2O"), (["C", "H", "H", "H", "H"], "CH4"), (["N", "C", "H", "O", "C", "H"], "C2H2NO"),
    (["F", "B", "F", "F"], "BF3"), (["H", "F"], "FH"), (["C", "O", "O"], "CO2"), (["H"], "H")])
def test_hill_formula(symbols, formula):
    assert table.hill_formula(symbols) == formula


def test_values_of_a_result():
    result = {"molecule": {"symbols": ["O", "H", "H"], "molecular_charge": 0.0},
              "properties": {"calcinfo_nbasis": 6},
              "extras": {"title": "water", "total_energy_ev": -167.11334, "homo_ev": -13.5, "lumo_ev": 2.25,
                         "gap_ev": 15.75, "analysis": {"mulliken_charges": [-0.61, 0.305, 0.305]}}}
    v = table.values_of(result)
    assert (v["formula"], v["charge"], v["mulliken_min"], v["mulliken_max"], v["total_energy_ev"]) == \
        ("H2O", "0", "-0.6100", "0.3050", "-167.1133")
    del result["extras"]["lumo_ev"], result["extras"]["gap_ev"]
    assert table.values_of(result)["lumo_ev"] == ""


def test_failed_operation_line():
    row = table.Row("0003-x", "import failed (exit 2): Cl", "input_error",
                    molecule={"index": 3, "name": "x", "format": "smi", "record": "CCl"})
    line = json.loads(table.json_line(row))
    assert line["success"] is False and line["error"] == {"error_type": "input_error",
                                                          "error_message": "import failed (exit 2): Cl"}
    assert line["input_data"] == {"format": "smi", "record": "CCl"} and line["extras"]["batch"]["index"] == 3


@pytest.mark.parametrize("csv_path, jsonl", [("a/results.csv", "a/results.jsonl"), ("t.CSV", "t.jsonl"),
                                            ("table", "table.jsonl"), ("t.txt", "t.txt.jsonl")])
def test_jsonl_path(csv_path, jsonl):
    assert table.jsonl_path(csv_path) == jsonl
