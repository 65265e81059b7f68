"""The worked examples through the module: the command line's files, byte for byte, and its labels."""

import os

import numpy as np
import pandas as pd
import pytest

import orthomix
from conftest import EXAMPLES, GOLDEN, RESULT_FILES, read_example


def membership_positions(path):
    """Identifier -> position of its cluster in a membership file (clusters are separated by NONE lines)."""
    positions, cluster, previous_none = {}, 0, False
    lines = path.read_text().splitlines()[1:]
    for line in lines:
        identifier = line.split("\t", 1)[0]
        if identifier == "NONE":
            if not previous_none:
                cluster += 1
            previous_none = True
            continue
        previous_none = False
        positions[identifier] = cluster
    return positions


@pytest.mark.parametrize("name", EXAMPLES)
def test_parameter_file_run_writes_the_command_lines_files(name, example_copy):
    folder = example_copy(name)
    cwd = os.getcwd()
    os.chdir(folder)
    try:
        model = orthomix.run_parameter_file("ParameterSetting.txt")
    finally:
        os.chdir(cwd)
    for file in RESULT_FILES:
        assert (folder / "out" / file).read_bytes() == (GOLDEN / name / "expected" / file).read_bytes(), file
    # The command line prints warnings and the ortholog line on standard error;
    # console.txt is its standard output.
    printed = [
        line for line in model.console_ if not line.startswith("warning: ") and " ortholog pairs, " not in line
    ]
    assert "".join(line + "\n" for line in printed) == (GOLDEN / name / "expected" / "console.txt").read_text()


@pytest.mark.parametrize("name", EXAMPLES)
def test_fit_from_dataframes_gives_the_membership_files_labels_and_files(name, tmp_path):
    data, settings = read_example(name)
    model = orthomix.OrthoMix(**settings, threads=2).fit(**data)
    assert model.seed_ == settings["seed"]
    assert model.k_ == settings["k"]
    # Inputs that were never files are named for what they are.
    [matching] = [line for line in model.console_ if " ortholog pairs, " in line]
    assert "the ortholog table holds" in matching and "<in memory>" not in matching
    for organism in ("human", "mouse"):
        expected = membership_positions(GOLDEN / name / "expected" / f"{organism}_clusters.txt")
        labels = getattr(model, f"{organism}_labels_")
        assert labels.dtype == "Int64"
        assert list(labels.index) == list(data[organism].index)
        clustered = labels.dropna()
        assert dict(zip(clustered.index, clustered.astype(int))) == expected
        posteriors = getattr(model, f"{organism}_posteriors_")
        assert list(posteriors.index) == list(labels.index)
        assert posteriors.notna().sum() > 0 and posteriors.dropna().between(0.0, 1.0).all()
        assert getattr(model, f"{organism}_means_").shape == (model.k_, data[organism].shape[1])
        assert (getattr(model, f"{organism}_variances_").to_numpy() >= 0).all()

    written = model.write(tmp_path / "out")
    assert sorted(os.path.basename(path) for path in written) == sorted(RESULT_FILES)
    for file in RESULT_FILES:
        assert (tmp_path / "out" / file).read_bytes() == (GOLDEN / name / "expected" / file).read_bytes(), file


def test_numpy_inputs_and_pairs_give_what_dataframes_give():
    data, settings = read_example("public1")
    from_frames = orthomix.OrthoMix(**settings).fit(**data)
    human, mouse = data["human"], data["mouse"]
    from_arrays = orthomix.OrthoMix(**settings).fit(
        (human.to_numpy(), list(human.index), list(human.columns)),
        (mouse.to_numpy(), list(mouse.index)),
        [tuple(pair) for pair in data["orthologs"].itertuples(index=False)],
        human_annotation=dict(data["human_annotation"]))
    pd.testing.assert_series_equal(from_arrays.human_labels_, from_frames.human_labels_)
    pd.testing.assert_series_equal(from_arrays.mouse_labels_, from_frames.mouse_labels_)
    assert from_arrays.log_likelihood_ == from_frames.log_likelihood_
    assert from_arrays.bic_ == from_frames.bic_


def test_pair_table_counts_every_pair_once():
    data, settings = read_example("public1")
    model = orthomix.OrthoMix(**settings).fit(**data)
    table = model.pair_table_
    cells = table.dropna(subset=["human_cluster"])
    assert len(cells) == model.k_ * model.k_
    assert table["observed"].sum() == len(model.pair_assignments_)
    ratio = cells["observed"] / cells["expected"]
    defined = cells["observed_over_expected"].notna()
    np.testing.assert_allclose(cells.loc[defined, "observed_over_expected"], ratio[defined])
    assert table["probability"].sum() == pytest.approx(1.0)
    # Every cell has its enrichment p-value and a q-value no smaller; scatter has neither.
    assert cells["p_value"].between(0, 1).all() and cells["q_value"].between(0, 1).all()
    assert (cells["q_value"] >= cells["p_value"]).all()
    assert table.loc[table["human_cluster"].isna(), ["p_value", "q_value"]].isna().all().all()
    # Each pair's cell agrees with its genes' labels.
    pairs = model.pair_assignments_
    human = model.human_labels_.reindex(pairs["human"]).fillna(model.k_).astype(int).to_numpy()
    assert (pairs["human_cluster"].to_numpy() == human).all()
