"""Writes the parameter file of one job: a dataset's settings with the k (or
kValues), seed, threads and output files of that job. The settings pass
through as text; orthomix itself reads and checks them."""

import os

# Keys the workflow sets for every job; a dataset's own values are dropped.
WORKFLOW_KEYS = {
    "k", "kValues", "seed", "threads",
    "outputFile_hm", "outputFile_ms", "k_by_k_output_clusters", "gene_pair_result",
    "assignmentFile_hm", "assignmentFile_ms", "pairTableFile", "modelSelectionFile",
    "reportFile", "runRecordFile",
}
INPUT_KEYS = ("dataFile_hm", "dataFile_ms", "annotFile_hm", "annotFile_ms", "orthologFile")

# Where each result goes inside a job's folder.
OUTPUTS = {
    "outputFile_hm": "human_clusters.txt",
    "outputFile_ms": "mouse_clusters.txt",
    "k_by_k_output_clusters": "pair_clusters.txt",
    "gene_pair_result": "gene_pairs.txt",
    "assignmentFile_hm": "human_assignments.tsv",
    "assignmentFile_ms": "mouse_assignments.tsv",
    "pairTableFile": "pair_table.tsv",
    "modelSelectionFile": "model_selection.tsv",
    "reportFile": "report.html",
    "runRecordFile": "record.json",
}


def dataset_lines(dataset):
    """The dataset's settings as key = value lines, input paths made absolute
    (those of a parameter file are taken from beside it)."""
    if "parameters" in dataset:
        folder = os.path.dirname(os.path.abspath(dataset["parameters"]))
        pairs = []
        with open(dataset["parameters"], encoding="utf-8") as text:
            for line in text:
                key, sep, value = line.partition("=")
                if sep:
                    pairs.append((key.strip(), value.strip()))
    else:
        folder = os.getcwd()
        pairs = list(dataset["files"].items()) + [(k, str(v)) for k, v in dataset.get("settings", {}).items()]
    lines = []
    for key, value in pairs:
        if key in WORKFLOW_KEYS:
            continue
        if key in INPUT_KEYS:
            value = os.path.join(folder, value)
        lines.append(f"{key} = {value}")
    return lines


def write_parameter_file(path, dataset, seed, threads, k=None, k_values=None):
    """Results go beside the file, so that the job runs in its folder."""
    lines = dataset_lines(dataset)
    lines.append(f"k = {k}" if k is not None else "kValues = " + ", ".join(str(v) for v in k_values))
    lines += [f"seed = {seed}", f"threads = {threads}"]
    lines += [f"{key} = {name}" for key, name in OUTPUTS.items()]
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    params = snakemake.params  # noqa: F821 (set by Snakemake)
    write_parameter_file(snakemake.output[0], params.dataset, params.seed, params.threads,  # noqa: F821
                         k=params.k, k_values=params.k_values)
