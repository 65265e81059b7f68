"""Shared data of the module's tests: the worked examples of the command line and a larger planted dataset."""

import os
import shutil
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

GOLDEN = Path(os.environ.get("ORTHOMIX_TEST_DATA", Path(__file__).parents[2] / "tests" / "data")) / "golden"
EXAMPLES = ("public1", "public2")
RESULT_FILES = ("human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt", "gene_pairs.txt")


def parameter_values(folder):
    """The key = value lines of an example's parameter file."""
    values = {}
    for line in (folder / "ParameterSetting.txt").read_text().splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            values[key.strip()] = value.strip()
    return values


def read_expression(path):
    return pd.read_csv(path, sep="\t", index_col=0, dtype={0: str}, float_precision="round_trip")


def read_example(name):
    """The example's data as DataFrames and Series, and its settings as keywords."""
    folder = GOLDEN / name
    values = parameter_values(folder)
    data = {
        "human": read_expression(folder / "human_expression.txt"),
        "mouse": read_expression(folder / "mouse_expression.txt"),
        "orthologs": pd.read_csv(folder / "orthologs.txt", sep="\t", header=None, dtype=str),
        "human_annotation": pd.read_csv(folder / "human_annotation.txt", sep="\t", index_col=0, dtype=str).iloc[:, 0],
        "mouse_annotation": pd.read_csv(folder / "mouse_annotation.txt", sep="\t", index_col=0, dtype=str).iloc[:, 0],
    }
    settings = dict(k=int(values["k"]), n_init=int(values["nMaxAlgRun"]), seed=int(values["seed"]),
                    prep=values["prep"] == "yes", cv_threshold=float(values["CVThr"]),
                    max_expression=float(values["maxExpr"]), stopping_threshold=float(values["stoppingThr"]),
                    pseudo_counts=int(values["psudo_uniform_counts"]))
    return data, settings


@pytest.fixture
def example_copy(tmp_path):
    """Copies an example's inputs and parameter file into a fresh folder and returns that folder."""
    def copy(name):
        target = tmp_path / name
        shutil.copytree(GOLDEN / name, target, ignore=shutil.ignore_patterns("expected"))
        return target
    return copy


def planted(genes=1500, samples=24, clusters=12, seed=5):
    """Two organisms with the same planted clusters and one ortholog pair per gene."""
    generator = np.random.default_rng(seed)
    centres = generator.normal(0.0, 3.0, size=(clusters, samples))
    membership = generator.integers(0, clusters, size=genes)
    frames = []
    for organism in ("H", "M"):
        values = centres[membership] + generator.normal(0.0, 1.0, size=(genes, samples))
        frames.append(pd.DataFrame(values, index=[f"{organism}{g:05d}" for g in range(genes)],
                                   columns=[f"{organism}_S{s}" for s in range(samples)]))
    orthologs = list(zip(frames[0].index, frames[1].index))
    return frames[0], frames[1], orthologs
