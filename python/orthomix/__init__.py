"""orthomix: joint clustering of human and mouse expression profiles tied by ortholog pairs.

    >>> import orthomix
    >>> model = orthomix.OrthoMix(k=20, n_init=10, seed=1).fit(human, mouse, orthologs)
    >>> model.human_labels_, model.pair_table_, model.bic_
    >>> model.write("results/")

``orthomix.run_parameter_file(path)`` runs a parameter file as the command line does.
"""

from ._core import version as __version__
from ._estimator import OrthoMix, OrthomixWarning, run_parameter_file
from ._settings import FIT_SETTINGS, OUTPUT_SETTINGS

__all__ = ["OrthoMix", "OrthomixWarning", "run_parameter_file", "FIT_SETTINGS", "OUTPUT_SETTINGS", "__version__"]
