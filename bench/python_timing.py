"""Times a fit through the Python module against the command line on the same parameter file.

Usage: python_timing.py <orthomix binary> <parameter file> [rounds]
Run from the folder the parameter file's paths start from, with the module
on PYTHONPATH. Each round runs, in turn, the command line, the module's
run_parameter_file and a fit from DataFrames (reading them is not timed,
writing the four files is); prints each one's median wall seconds and its
ratio to the command line's.
"""

import statistics
import subprocess
import sys
import time

import pandas as pd

import orthomix


def parameters(path):
    values = {}
    for line in open(path, encoding="utf-8"):
        if "=" in line:
            key, value = line.split("=", 1)
            values[key.strip()] = value.strip()
    return values


def read_inputs(values):
    expression = dict(sep="\t", index_col=0, dtype={0: str}, float_precision="round_trip")
    annotation = dict(sep="\t", index_col=0, dtype=str)
    return dict(human=pd.read_csv(values["dataFile_hm"], **expression),
                mouse=pd.read_csv(values["dataFile_ms"], **expression),
                orthologs=pd.read_csv(values["orthologFile"], sep="\t", header=None, dtype=str),
                human_annotation=pd.read_csv(values["annotFile_hm"], **annotation).iloc[:, 0],
                mouse_annotation=pd.read_csv(values["annotFile_ms"], **annotation).iloc[:, 0])


def keyword_settings(values):
    """The fit keywords of the file's keys, as text: the module reads them as the command line does."""
    by_key = {setting.key: name for name, setting in orthomix.FIT_SETTINGS.items()}
    settings = {}
    for key, value in values.items():
        if key in by_key:
            kind = orthomix.FIT_SETTINGS[by_key[key]].kind
            settings[by_key[key]] = value == "yes" if kind == "switch" else value
    return settings


def timed(run):
    started = time.perf_counter()
    run()
    return time.perf_counter() - started


def main():
    binary, parameter_file = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    values = parameters(parameter_file)
    inputs = read_inputs(values)
    model = orthomix.OrthoMix(**keyword_settings(values))
    folder = "out-python"
    runs = {
        "command line": lambda: subprocess.run([binary, parameter_file], check=True, stdout=subprocess.DEVNULL),
        "run_parameter_file": lambda: orthomix.run_parameter_file(parameter_file),
        "fit from DataFrames + write": lambda: model.fit(**inputs).write(folder),
    }
    seconds = {name: [] for name in runs}
    for _ in range(rounds):
        for name, run in runs.items():
            seconds[name].append(timed(run))
    reference = statistics.median(seconds["command line"])
    for name, times in seconds.items():
        median = statistics.median(times)
        print(f"{name:30s} {median:8.2f} s  ({', '.join(f'{t:.2f}' for t in times)})  "
              f"{median / reference:5.2f} x the command line")
    for key, name in (("outputFile_hm", "human_clusters.txt"), ("outputFile_ms", "mouse_clusters.txt"),
                      ("k_by_k_output_clusters", "pair_clusters.txt"), ("gene_pair_result", "gene_pairs.txt")):
        with open(values[key], "rb") as command_line, open(f"{folder}/{name}", "rb") as module:
            print(f"{name} from DataFrames identical to the command line's:",
                  "yes" if command_line.read() == module.read() else "NO")


if __name__ == "__main__":
    main()
