import os
from typing import Any, Callable, Dict, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np
import pandas as pd

from ._settings import SettingName

__version__: str
FIT_SETTINGS: Dict[str, SettingName]
OUTPUT_SETTINGS: Dict[str, SettingName]

_Expression = Union[pd.DataFrame, Tuple[np.ndarray, Sequence[str]], Tuple[np.ndarray, Sequence[str], Sequence[str]]]
_Orthologs = Union[pd.DataFrame, Sequence[Tuple[str, str]]]
_Annotation = Optional[Union[pd.Series, Mapping[str, str]]]
_Progress = Union[None, bool, Callable[[str], Any]]

class OrthomixWarning(UserWarning): ...

class OrthoMix:
    k: Optional[int]
    k_values: Union[None, str, Sequence[int]]
    n_init: Optional[int]
    seed: Optional[int]
    fast: Optional[bool]
    threads: Optional[int]
    stopping_threshold: Optional[float]
    pseudo_counts: Optional[float]
    prep: Optional[bool]
    cv_threshold: Optional[float]
    max_expression: Optional[float]
    progress: _Progress

    human_labels_: pd.Series
    mouse_labels_: pd.Series
    human_posteriors_: pd.Series
    mouse_posteriors_: pd.Series
    human_means_: pd.DataFrame
    mouse_means_: pd.DataFrame
    human_variances_: pd.DataFrame
    mouse_variances_: pd.DataFrame
    pair_table_: pd.DataFrame
    pair_assignments_: pd.DataFrame
    log_likelihood_: float
    bic_: float
    n_iter_: int
    k_: int
    seed_: int
    attempts_: pd.DataFrame
    model_selection_: pd.DataFrame
    console_: List[str]

    def __init__(self, k: Optional[int] = ..., *, k_values: Union[None, str, Sequence[int]] = ...,
                 n_init: Optional[int] = ..., seed: Optional[int] = ..., fast: Optional[bool] = ...,
                 threads: Optional[int] = ..., stopping_threshold: Optional[float] = ...,
                 pseudo_counts: Optional[float] = ..., prep: Optional[bool] = ..., cv_threshold: Optional[float] = ...,
                 max_expression: Optional[float] = ..., progress: _Progress = ...,
                 cv_threshold_human: Optional[float] = ..., cv_threshold_mouse: Optional[float] = ...,
                 max_expression_human: Optional[float] = ..., max_expression_mouse: Optional[float] = ...,
                 verbose: Optional[bool] = ..., assignment_posterior: Optional[bool] = ...) -> None: ...
    def get_params(self, deep: bool = ...) -> Dict[str, Any]: ...
    def set_params(self, **params: Any) -> "OrthoMix": ...
    def fit(self, human: _Expression, mouse: _Expression, orthologs: _Orthologs, human_annotation: _Annotation = ...,
            mouse_annotation: _Annotation = ...) -> "OrthoMix": ...
    def write(self, folder_or_settings: Union[str, os.PathLike, Mapping[str, Union[str, os.PathLike]]]) -> List[str]: ...

def run_parameter_file(path: Union[str, os.PathLike], progress: _Progress = ...) -> OrthoMix: ...
