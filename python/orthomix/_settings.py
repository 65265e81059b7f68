"""Keyword names for the parameter keys, derived from the tool's own table of keys."""

import os
import re
from typing import Any, Dict, Mapping

from . import _core

# Keys whose Python name is not simply the key in snake case.
_RENAMED = {
    "nMaxAlgRun": "n_init",
    "fastDensity": "fast",
    "stoppingThr": "stopping_threshold",
    "psudo_uniform_counts": "pseudo_counts",
    "CVThr": "cv_threshold",
    "CVThr_hm": "cv_threshold_human",
    "CVThr_ms": "cv_threshold_mouse",
    "maxExpr": "max_expression",
    "maxExpr_hm": "max_expression_human",
    "maxExpr_ms": "max_expression_mouse",
    "outputFile_hm": "human_clusters",
    "outputFile_ms": "mouse_clusters",
    "k_by_k_output_clusters": "pair_clusters",
    "gene_pair_result": "gene_pairs",
    "runRecordFile": "run_record",
    "assignmentFile_hm": "human_assignments",
    "assignmentFile_ms": "mouse_assignments",
    "modelSelectionFile": "model_selection",
    "pairTableFile": "pair_table",
    "reportFile": "report",
}


def _snake_case(key: str) -> str:
    return re.sub(r"(?<=[a-z0-9])([A-Z])", r"_\1", key).lower()


class SettingName:
    """One parameter key and the keyword that stands for it in Python."""

    def __init__(self, key: str, kind: str, required: bool, help_text: str):
        self.key = key
        self.kind = kind
        self.required = required
        self.help = help_text
        self.name = _RENAMED.get(key) or _snake_case(key)

    def __repr__(self) -> str:
        return f"SettingName({self.name!r} -> {self.key!r}, {self.kind})"


SETTINGS = [SettingName(*definition) for definition in _core.setting_definitions()]
_unknown = set(_RENAMED) - {setting.key for setting in SETTINGS}
if _unknown:  # a renamed key that the tool no longer has: the table and this module disagree
    raise ImportError(f"orthomix: keys without a setting: {sorted(_unknown)}")

#: The keywords of a fit: every key that is neither a file read nor a file written.
FIT_SETTINGS = {s.name: s for s in SETTINGS if s.kind not in ("input", "output")}
#: The keywords of write(): every file written.
OUTPUT_SETTINGS = {s.name: s for s in SETTINGS if s.kind == "output"}
#: The file names write(folder) uses for the files every run writes.
DEFAULT_FILE_NAMES = {
    "human_clusters": "human_clusters.txt",
    "mouse_clusters": "mouse_clusters.txt",
    "pair_clusters": "pair_clusters.txt",
    "gene_pairs": "gene_pairs.txt",
    "model_selection": "model_selection.txt",
}


def value_text(setting: SettingName, value: Any) -> str:
    """The text a parameter file would hold for this value."""
    if isinstance(value, bool):
        if setting.kind != "switch":
            raise TypeError(f"{setting.name} takes a number, not {value!r}")
        return "yes" if value else "no"
    if setting.kind == "switch":
        raise TypeError(f"{setting.name} takes True or False, not {value!r}")
    if setting.kind == "k list" and not isinstance(value, str):
        return ", ".join(str(int(k)) for k in value)
    if hasattr(value, "item") and not isinstance(value, (int, float, str)):
        value = value.item()  # a NumPy scalar
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, (int, str)):
        return str(value)
    raise TypeError(f"{setting.name} cannot be {value!r}")


def settings_table(keywords: Mapping[str, Any]) -> Dict[str, str]:
    """The parameter table of fit keywords (None leaves a key out)."""
    table = {}
    for name, value in keywords.items():
        if name not in FIT_SETTINGS:
            raise TypeError(f"unknown setting {name!r}; the settings are {', '.join(FIT_SETTINGS)}")
        if value is not None:
            table[FIT_SETTINGS[name].key] = value_text(FIT_SETTINGS[name], value)
    return table


def output_table(files: Any) -> Dict[str, str]:
    """The output keys of a folder (the default names) or of a mapping from output names or keys to paths."""
    if isinstance(files, (str, os.PathLike)):
        folder = os.fspath(files)
        return {OUTPUT_SETTINGS[name].key: os.path.join(folder, file) for name, file in DEFAULT_FILE_NAMES.items()}
    by_key = {s.key: s for s in OUTPUT_SETTINGS.values()}
    table = {}
    for name, path in files.items():
        setting = OUTPUT_SETTINGS.get(name) or by_key.get(name)
        if setting is None:
            raise TypeError(f"unknown output {name!r}; the outputs are {', '.join(OUTPUT_SETTINGS)}")
        if path is not None:
            table[setting.key] = os.fspath(path)
    return table
