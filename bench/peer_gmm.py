#!/usr/bin/env python3
"""The benchmark's peer: scikit-learn's diagonal Gaussian mixture, fitted to
each organism's matrix on its own, from as many random starts as the
parameter file asks repetitions, with its k. The matrices are filtered and
standardised by the same rules as the tool's preprocessing. Reading and
preprocessing are not timed.

With --time-starts, each fit is followed by a k-means fit of the same k,
one start and the same random state, timed apart: the kind of start the
peer's fit makes by default (init_params='kmeans'), so that its time can be
told apart from the EM iterations'. It is not part of seconds.

Usage: peer_gmm.py [--time-starts] PARAMETER_FILE   (paths in it relative to the current folder)
Prints one line: peer seconds=S iterations=N fits=F, and kmeans=K with --time-starts
Exit status 3 when scikit-learn is not installed."""
import sys
import time

try:
    import numpy as np
    from sklearn.cluster import KMeans
    from sklearn.mixture import GaussianMixture
except ImportError:
    print("scikit-learn is not installed (Debian: python3-sklearn): the peer is skipped", file=sys.stderr)
    sys.exit(3)


def read_parameters(path):
    settings = {}
    with open(path) as text:
        for line in text:
            if "=" in line:
                key, value = line.split("=", 1)
                settings[key.strip()] = value.strip()
    return settings


def number(text):
    try:
        return float(text)
    except ValueError:
        return 0.0


def read_matrix(path):
    rows = []
    with open(path) as text:
        next(text)
        for line in text:
            fields = line.split()
            if len(fields) > 1:
                rows.append([number(v) for v in fields[1:]])
    return np.array(rows)


def preprocess(matrix, cv_threshold, max_threshold):
    mean = matrix.mean(axis=1)
    deviation = matrix.std(axis=1)
    with np.errstate(divide="ignore", invalid="ignore"):
        cv = deviation / mean
    keep = (cv >= cv_threshold) & (matrix.max(axis=1) >= max_threshold) & (deviation > 0)
    kept = matrix[keep]
    return (kept - mean[keep][:, None]) / deviation[keep][:, None]


def main():
    arguments = sys.argv[1:]
    time_starts = "--time-starts" in arguments
    arguments = [argument for argument in arguments if argument != "--time-starts"]
    if len(arguments) != 1:
        print("usage: peer_gmm.py [--time-starts] PARAMETER_FILE", file=sys.stderr)
        sys.exit(2)
    settings = read_parameters(arguments[0])
    k = int(float(settings["k"]))
    starts = int(float(settings["nMaxAlgRun"]))
    matrices = []
    for key in ("dataFile_hm", "dataFile_ms"):
        matrix = read_matrix(settings[key])
        if settings.get("prep") == "yes":
            matrix = preprocess(matrix, float(settings.get("CVThr", 0)), float(settings.get("maxExpr", 0)))
        matrices.append(matrix)
    seconds = 0.0
    kmeans_seconds = 0.0
    iterations = 0
    fits = 0
    for matrix in matrices:
        for start in range(starts):
            model = GaussianMixture(n_components=k, covariance_type="diag", n_init=1, max_iter=100,
                                    random_state=start)
            began = time.perf_counter()
            model.fit(matrix)
            seconds += time.perf_counter() - began
            iterations += model.n_iter_
            fits += 1
            if time_starts:
                began = time.perf_counter()
                KMeans(n_clusters=k, n_init=1, random_state=start).fit(matrix)
                kmeans_seconds += time.perf_counter() - began
    line = "peer seconds=%.3f iterations=%d fits=%d" % (seconds, iterations, fits)
    if time_starts:
        line += " kmeans=%.3f" % kmeans_seconds
    print(line)


if __name__ == "__main__":
    main()
