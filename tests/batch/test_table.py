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


WATER = {"molecule": {"symbols": ["O", "H", "H"], "molecular_charge": -1, "name": "w"},
         # members of the same names elsewhere, which a reader looking in the wrong object would take
         "properties": {"calcinfo_nbasis": 6, "homo_ev": 99.0, "return_energy": -6.1},
         "extras": {"title": 'w: "title": 1,\n    "homo_ev": 9', "total_energy_ev": -167.11334, "homo_ev": -13.5,
                    "lumo_ev": 2.25, "gap_ev": 15.75, "total_charge": 0.0,
                    "analysis": {"lowdin_charges": [9.0, 9.0, 9.0], "mulliken_charges": [-0.61, 0.305, 0.305],
                                 "title": "analysis", "gap_ev": 0.0,
                                 "orbital_composition": [[1.0, 2.0, 3.0]] * 6},
                    "report_bond_orders": [{"atoms": [1, 2], "order": 0.9}]}}


@pytest.mark.parametrize("drop", [(), ("extras", "lumo_ev"), ("extras", "analysis"), ("molecule", "symbols")])
@pytest.mark.parametrize("layout", [dict(indent=2, sort_keys=True, ensure_ascii=False), dict(indent=2), {}])
def test_the_values_read_member_by_member_are_those_of_the_whole_document(drop, layout):
    # zephor-export's layout is read member by member; any other, or a result without a member
    # the table needs, gives what the parsed document gives (or the same exception).
    result = json.loads(json.dumps(WATER))
    if drop:
        del result[drop[0]][drop[1]]
    data = json.dumps(result, **layout).encode("utf-8")
    try:
        expected = table.values_of(json.loads(data))
    except (KeyError, TypeError) as e:
        with pytest.raises(type(e)):
            table.values_of(table.result_outline(data))
    else:
        assert table.values_of(table.result_outline(data)) == expected
        assert expected["title"] == WATER["extras"]["title"] and expected["atoms"] == "3"


def test_failed_operation_line():
    row = table.Row("0003-x", "import failed (exit 2): Cl", "input_error",
                    molecule={"index": 3, "name": "x", "format": "smi", "record": "CCl"})
    line = json.loads(table.json_line(row))
    assert line["success"] is False and line["error"] == {"error_type": "input_error",
                                                          "error_message": "import failed (exit 2): Cl"}
    assert line["input_data"] == {"format": "smi", "record": "CCl"} and line["extras"]["batch"]["index"] == 3


RESULT = {"driver": "energy", "success": True, "return_result": -41.5,
          "molecule": {"symbols": ["O", "H", "H"], "geometry": [[0.0, 0.0, 0.1], [1e-300, -2.5, 3.0], [0, 1, 2]]},
          "extras": {"title": "a title: with  spaces, \"quotes\", a \\ and a \n inside", "name": "\u00e9\u2028",
                     "analysis": {"mayer_bond_orders": [[0.0, 0.9], [0.9, 0.0]], "empty": [], "none": {}}}}


@pytest.mark.parametrize("text, spliced", [
    # zephor-export's layout: two spaces a level, one key a line, keys sorted
    (json.dumps(RESULT, indent=2, sort_keys=True, ensure_ascii=False), True),
    # another layout, or a result with an id of its own: parsed and written again
    (json.dumps(RESULT), False), (json.dumps(dict(RESULT, id="x"), indent=2, sort_keys=True), False)])
def test_a_results_line_is_the_result_with_the_batchs_facts(text, spliced):
    row = table.Row("0002-water", "ok", molecule={"index": 2, "name": "water"}, data=text.encode("utf-8"))
    line = table.json_line(row)
    assert "\n" not in line and (table._spliced(row) is not None) == spliced
    expected = dict(RESULT, id="0002-water")
    expected["extras"] = dict(RESULT["extras"], batch={"folder": "0002-water", "status": "ok", "index": 2,
                                                       "name": "water"})
    assert json.loads(line) == expected


@pytest.mark.parametrize("csv_path, jsonl", [("a/results.csv", "a/results.jsonl"), ("t.CSV", "t.jsonl"),
                                            ("table", "table.jsonl"), ("t.txt", "t.txt.jsonl")])
def test_jsonl_path(csv_path, jsonl):
    assert table.jsonl_path(csv_path) == jsonl
