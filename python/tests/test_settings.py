"""Keyword settings, their warnings and errors, and a sweep compared with the command line's."""

import os
import subprocess
import warnings

import pandas as pd
import pytest

import orthomix
from conftest import GOLDEN, read_example


def test_every_key_but_the_paths_is_a_keyword_and_the_names_are_distinct():
    keys = {setting.key for setting in orthomix.FIT_SETTINGS.values()}
    assert {"k", "kValues", "nMaxAlgRun", "seed", "fastDensity", "threads", "stoppingThr",
            "psudo_uniform_counts", "prep", "CVThr", "maxExpr", "CVThr_hm", "maxExpr_ms"} <= keys
    assert orthomix.FIT_SETTINGS["n_init"].key == "nMaxAlgRun"
    assert orthomix.FIT_SETTINGS["pseudo_counts"].key == "psudo_uniform_counts"
    assert orthomix.FIT_SETTINGS["k_values"].key == "kValues"
    assert orthomix.OUTPUT_SETTINGS["gene_pairs"].key == "gene_pair_result"
    names = list(orthomix.FIT_SETTINGS) + list(orthomix.OUTPUT_SETTINGS)
    assert len(names) == len(set(names))
    assert "dataFile_hm" not in keys
    documented = [line.split() for line in orthomix.OrthoMix.__doc__.splitlines()]
    for name, setting in orthomix.FIT_SETTINGS.items():
        assert [name, setting.key] in [words[:2] for words in documented], f"help(OrthoMix) leaves out {name}"


def test_bad_settings_raise_value_errors_with_the_tools_message():
    data, settings = read_example("public1")
    with pytest.raises(ValueError, match=r"^The key k must be at least 1 \(it is 0\)$"):
        orthomix.OrthoMix(**{**settings, "k": 0}).fit(**data)
    with pytest.raises(ValueError, match="The key kValues must list whole numbers"):
        orthomix.OrthoMix(**{**settings, "k_values": "5-"}).fit(**data)
    with pytest.raises(ValueError, match="The key seed must be a whole number from 0 to 4294967295"):
        orthomix.OrthoMix(**{**settings, "seed": 2 ** 40}).fit(**data)
    with pytest.raises(TypeError, match="unknown setting 'clusters'"):
        orthomix.OrthoMix(clusters=5)
    with pytest.raises(TypeError, match="True or False"):
        orthomix.OrthoMix(**{**settings, "prep": "yes"}).fit(**data)


def test_bad_data_raise_value_errors():
    data, settings = read_example("public1")
    with pytest.raises(ValueError, match="human: there are no genes"):
        orthomix.OrthoMix(**settings).fit(**{**data, "human": data["human"].iloc[:0]})
    with pytest.raises(ValueError, match="each pair needs two identifiers"):
        orthomix.OrthoMix(**settings).fit(**{**data, "orthologs": [("H00001",)]})
    with pytest.raises(TypeError, match="expected a DataFrame"):
        orthomix.OrthoMix(**settings).fit(**{**data, "mouse": "mouse_expression.txt"})


def test_files_that_cannot_be_read_or_written_raise_os_errors(tmp_path):
    with pytest.raises(OSError, match="Cannot open"):
        orthomix.run_parameter_file(tmp_path / "missing.txt")
    data, settings = read_example("public1")
    model = orthomix.OrthoMix(**settings).fit(**data)
    (tmp_path / "blocked").write_text("a file where a folder is needed")
    with pytest.raises(OSError, match="Cannot open file"):
        model.write(tmp_path / "blocked" / "out")
    with pytest.raises(ValueError, match="gene_pair_result is missing"):
        model.write({"human_clusters": tmp_path / "h.txt", "mouse_clusters": tmp_path / "m.txt",
                     "pair_clusters": tmp_path / "p.txt"})
    assert not (tmp_path / "h.txt").exists()


def test_warnings_reach_python_with_the_tools_text(example_copy):
    data, settings = read_example("public1")
    with pytest.warns(orthomix.OrthomixWarning, match="the value \"10.5\" of the key psudo_uniform_counts is read as "
                      "10.5, used as 10: a whole number is expected, so the decimals are cut off"):
        model = orthomix.OrthoMix(**{**settings, "pseudo_counts": 10.5}).fit(**data)
    with warnings.catch_warnings():
        # A whole pseudo count is read without a word (other warnings of the data may come).
        warnings.filterwarnings("error", message=".*psudo_uniform_counts")
        reference = orthomix.OrthoMix(**settings).fit(**data)
    assert model.bic_ == reference.bic_

    folder = example_copy("public1")
    with open(folder / "ParameterSetting.txt", "a") as parameters:
        parameters.write("nMaxAlgrun = 3\n")
    cwd = os.getcwd()
    os.chdir(folder)
    try:
        with pytest.warns(orthomix.OrthomixWarning, match="unrecognised key \"nMaxAlgrun\".*did you mean \"nMaxAlgRun\""):
            orthomix.run_parameter_file("ParameterSetting.txt")
    finally:
        os.chdir(cwd)


def table_without_seconds(text):
    lines = [line.split("\t") for line in text.splitlines()]
    seconds = lines[0].index("seconds")
    return [line[:seconds] + line[seconds + 1:] for line in lines]


@pytest.mark.skipif("ORTHOMIX_BINARY" not in os.environ, reason="the command line's binary is not given")
def test_a_sweeps_table_equals_the_command_lines(example_copy, tmp_path):
    folder = example_copy("public1")
    text = (folder / "ParameterSetting.txt").read_text().replace("k = 5\n", "kValues = 3-6\n")
    (folder / "ParameterSetting.txt").write_text(text + "modelSelectionFile = out/model_selection.txt\n")
    subprocess.run([os.environ["ORTHOMIX_BINARY"], "ParameterSetting.txt"], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL)

    data, settings = read_example("public1")
    del settings["k"]
    model = orthomix.OrthoMix(**settings, k_values=[3, 4, 5, 6]).fit(**data)
    model.write(tmp_path)
    expected = (folder / "out" / "model_selection.txt").read_text()
    assert table_without_seconds((tmp_path / "model_selection.txt").read_text()) == table_without_seconds(expected)
    assert list(model.model_selection_["k"]) == [3, 4, 5, 6]
    assert model.model_selection_["selected"].sum() == 1
    assert model.k_ == int(model.model_selection_.loc[model.model_selection_["bic"].idxmin(), "k"])
    for file in ("human_clusters.txt", "gene_pairs.txt"):
        assert (tmp_path / file).read_bytes() == (folder / "out" / file).read_bytes(), file
    assert set(model.attempts_["k"]) == {3, 4, 5, 6}
