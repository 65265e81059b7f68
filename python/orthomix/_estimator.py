"""The estimator: settings in the constructor, data in fit(), results as attributes."""

import os
import sys
import time
import warnings
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

import numpy as np
import pandas as pd

from . import _core
from ._settings import DEFAULT_FILE_NAMES, FIT_SETTINGS, OUTPUT_SETTINGS, output_table, settings_table

ORGANISMS = ("human", "mouse")


class OrthomixWarning(UserWarning):
    """A warning of a run, with the tool's own text."""


def _organism(data: Any, organism: str) -> Tuple[List[str], List[str], np.ndarray]:
    """(identifiers, sample names, values) of a DataFrame or of (values, identifiers[, sample names])."""
    if isinstance(data, pd.DataFrame):
        identifiers = [str(i) for i in data.index]
        samples = [str(c) for c in data.columns]
        values = data.to_numpy(dtype=np.float64)
    elif isinstance(data, (tuple, list)) and len(data) in (2, 3):
        values = np.asarray(data[0], dtype=np.float64)
        identifiers = [str(i) for i in data[1]]
        samples = [str(c) for c in data[2]] if len(data) == 3 else [f"S{j + 1}" for j in range(values.shape[-1])]
    else:
        raise TypeError(f"{organism}: expected a DataFrame (genes x samples) or (values, identifiers[, samples])")
    if values.ndim != 2:
        raise ValueError(f"{organism}: the expression values must be genes x samples, not {values.ndim}-dimensional")
    if values.shape[0] == 0:
        raise ValueError(f"{organism}: there are no genes")
    return identifiers, samples, np.ascontiguousarray(values)


def _annotations(annotation: Any, identifiers: Sequence[str]) -> List[str]:
    if annotation is None:
        return [""] * len(identifiers)
    mapping = {str(key): "" if value is None else str(value) for key, value in dict(annotation).items()}
    return [mapping.get(identifier, "") for identifier in identifiers]


def _ortholog_pairs(orthologs: Any) -> List[Tuple[str, str]]:
    if isinstance(orthologs, pd.DataFrame):
        if orthologs.shape[1] < 2:
            raise ValueError("orthologs: a DataFrame needs two columns, human identifier and mouse identifier")
        rows = orthologs.iloc[:, :2].itertuples(index=False, name=None)
    else:
        rows = orthologs
    pairs = []
    for row in rows:
        if len(row) != 2:
            raise ValueError(f"orthologs: each pair needs two identifiers, not {row!r}")
        pairs.append((str(row[0]), str(row[1])))
    return pairs


class _Progress:
    """Passes console lines to a callback, or to a tqdm bar of accepted repetitions."""

    def __init__(self, progress: Any, total: int):
        self.callback: Optional[Callable[[str], Any]] = None
        self.bar = None
        if callable(progress):
            self.callback = progress
        elif progress:
            try:
                from tqdm.auto import tqdm
                self.bar = tqdm(total=total, unit="repetition")
            except ImportError:
                self.callback = lambda line: print(line, file=sys.stderr, flush=True)

    def line(self, text: str) -> None:
        if self.callback is not None:
            self.callback(text)
        elif self.bar is not None and text.startswith("Repetitive times:"):
            self.bar.update(1)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


def _warn(text: str) -> None:
    warnings.warn(text, OrthomixWarning, stacklevel=2)


class OrthoMix:
    """Joint clustering of human and mouse expression profiles tied by ortholog pairs.

    Every keyword stands for one parameter-file key and is read as that key's
    value; None leaves the key out, so the command line's default holds
    (n_init defaults to 10):

    {settings}

    ``progress`` is a callable given every console line, or True for a tqdm
    bar (console lines on standard error when tqdm is missing).

    After ``fit``: ``human_labels_``, ``mouse_labels_`` (nullable integers, the
    cluster's position in the membership file, <NA> for scatter or a gene not
    clustered), ``human_posteriors_``, ``mouse_posteriors_``, ``pair_table_``,
    ``pair_assignments_``, ``log_likelihood_``, ``bic_``, ``n_iter_``, ``k_``,
    ``attempts_``, ``model_selection_``, ``human_means_``, ``mouse_means_``,
    ``human_variances_``, ``mouse_variances_``, ``seed_``, ``console_``.
    """

    def __init__(self, k: Optional[int] = None, *, k_values: Any = None, n_init: Optional[int] = 10,
                 seed: Optional[int] = None, fast: Optional[bool] = None, threads: Optional[int] = None,
                 stopping_threshold: Optional[float] = None, pseudo_counts: Optional[float] = None,
                 prep: Optional[bool] = None, cv_threshold: Optional[float] = None,
                 max_expression: Optional[float] = None, progress: Any = None, **more_settings: Any):
        self.k = k
        self.k_values = k_values
        self.n_init = n_init
        self.seed = seed
        self.fast = fast
        self.threads = threads
        self.stopping_threshold = stopping_threshold
        self.pseudo_counts = pseudo_counts
        self.prep = prep
        self.cv_threshold = cv_threshold
        self.max_expression = max_expression
        self.progress = progress
        self.set_params(**more_settings)
        self._fit: Optional[_core.Fit] = None

    # scikit-learn's parameter protocol
    def get_params(self, deep: bool = True) -> Dict[str, Any]:
        params = {name: getattr(self, name, None) for name in FIT_SETTINGS}
        params["progress"] = self.progress
        return params

    def set_params(self, **params: Any) -> "OrthoMix":
        for name, value in params.items():
            if name not in FIT_SETTINGS and name != "progress":
                raise TypeError(f"unknown setting {name!r}; the settings are {', '.join(FIT_SETTINGS)}")
            setattr(self, name, value)
        return self

    def __repr__(self) -> str:
        given = ", ".join(f"{name}={value!r}" for name, value in self.get_params().items() if value is not None)
        return f"OrthoMix({given})"

    def fit(self, human: Any, mouse: Any, orthologs: Any, human_annotation: Any = None,
            mouse_annotation: Any = None) -> "OrthoMix":
        """Fits the model; returns self.

        human, mouse: DataFrames (genes x samples, index = identifiers, columns =
        sample names) or tuples (values, identifiers[, sample names]).
        orthologs: a DataFrame whose first two columns are human and mouse
        identifiers, or a sequence of (human, mouse) pairs.
        human_annotation, mouse_annotation: a Series or mapping from identifier to text.
        Raises ValueError for bad settings or data; Ctrl-C stops the fit and raises KeyboardInterrupt.
        """
        params = self.get_params()
        params.pop("progress")
        table = settings_table(params)
        organisms = []
        for name, data, annotation in (("human", human, human_annotation), ("mouse", mouse, mouse_annotation)):
            identifiers, samples, values = _organism(data, name)
            organisms.append((identifiers, samples, values, _annotations(annotation, identifiers)))
        pairs = _ortholog_pairs(orthologs)
        progress = _Progress(self.progress, self._expected_repetitions())
        try:
            fitted = _core.fit(table, organisms[0], organisms[1], pairs, int(time.time()) & 0xFFFFFFFF,
                               progress.line, _warn)
        finally:
            progress.close()
        self._take(fitted, {name: organism[0] for name, organism in zip(ORGANISMS, organisms)})
        return self

    def _expected_repetitions(self) -> int:
        ks = self.k_values if self.k_values is not None else [self.k]
        count = len(ks) if not isinstance(ks, str) else 1
        return count * int(self.n_init or 0)

    def _take(self, fitted: "_core.Fit", input_identifiers: Dict[str, List[str]]) -> None:
        """Keeps the fit and shapes its results; the labels cover the input identifiers, or the genes kept."""
        self._fit = fitted
        for organism in ORGANISMS:
            kept = fitted.identifiers(organism)
            labels = dict(reversed(list(zip(kept, fitted.labels(organism)))))  # the first gene of an identifier
            posteriors = dict(reversed(list(zip(kept, fitted.posteriors(organism)))))
            index = pd.Index(input_identifiers.get(organism, kept), name="identifier")
            label_values = [labels.get(i, -1) for i in index]
            series = pd.Series(label_values, index=index, dtype="Int64", name="cluster")
            series[series < 0] = pd.NA
            setattr(self, f"{organism}_labels_", series)
            setattr(self, f"{organism}_posteriors_",
                    pd.Series([posteriors.get(i, np.nan) for i in index], index=index, dtype=float,
                              name="posterior"))
            samples = pd.Index(fitted.samples(organism), name="sample")
            clusters = pd.RangeIndex(fitted.k, name="cluster")
            setattr(self, f"{organism}_means_", pd.DataFrame(fitted.means(organism), index=clusters, columns=samples))
            setattr(self, f"{organism}_variances_",
                    pd.DataFrame(fitted.variances(organism), index=clusters, columns=samples))
        table = pd.DataFrame(fitted.pair_table())
        for column in ("human_cluster", "mouse_cluster"):
            table[column] = table[column].astype("Int64").where(table[column] >= 0, pd.NA)
        self.pair_table_ = table
        self.pair_assignments_ = pd.DataFrame(fitted.pair_assignments())
        self.log_likelihood_ = fitted.log_likelihood
        self.bic_ = fitted.bic
        self.n_iter_ = fitted.n_iter
        self.k_ = fitted.k
        self.seed_ = fitted.seed
        self.attempts_ = pd.DataFrame(fitted.attempts())
        self.model_selection_ = pd.DataFrame(fitted.model_selection())
        self.console_ = list(fitted.console)

    def write(self, folder_or_settings: Any) -> List[str]:
        """Writes the result files the command line writes, byte for byte; returns their paths.

        A folder gets human_clusters.txt, mouse_clusters.txt, pair_clusters.txt,
        gene_pairs.txt and, for a sweep, model_selection.txt. A mapping names
        the files itself, by output name or parameter key: human_clusters
        (outputFile_hm), mouse_clusters (outputFile_ms), pair_clusters
        (k_by_k_output_clusters), gene_pairs (gene_pair_result), run_record,
        human_assignments, mouse_assignments, model_selection, pair_table,
        report. Files already there are replaced all together or not at all.
        """
        if self._fit is None:
            raise ValueError("fit() first: there are no results to write")
        paths = output_table(folder_or_settings)
        if isinstance(folder_or_settings, (str, os.PathLike)) and not self._fit.sweep:
            paths.pop(OUTPUT_SETTINGS["model_selection"].key)
        return self._fit.write(paths, None, _warn)


def _settings_table() -> str:
    """The keywords, their keys and the tool's help for each, as the docstring shows them."""
    rows = [(name, setting.key, setting.help) for name, setting in FIT_SETTINGS.items()]
    widths = [max(len(row[column]) for row in rows + [("keyword", "key", "meaning")]) for column in range(3)]
    rule = "  ".join("=" * width for width in widths)
    lines = ["  ".join(text.ljust(width) for text, width in zip(row, widths)).rstrip()
             for row in [("keyword", "key", "meaning")] + rows]
    lines.insert(1, rule)
    lines.insert(0, rule)
    return "\n    ".join(lines + [rule])


OrthoMix.__doc__ = OrthoMix.__doc__.replace("{settings}", _settings_table())


def run_parameter_file(path: Any, progress: Any = None) -> OrthoMix:
    """Runs exactly what ``orthomix <path>`` runs: the same files written, the same warnings.

    Returns an estimator with the fitted results. Raises OSError when a file
    cannot be read or written, ValueError for anything else the tool refuses.
    """
    estimator = OrthoMix(progress=progress)
    reporter = _Progress(progress, 0)
    try:
        fitted = _core.run_parameter_file(os.fspath(path), int(time.time()) & 0xFFFFFFFF, reporter.line, _warn)
    finally:
        reporter.close()
    estimator._take(fitted, {})
    return estimator
