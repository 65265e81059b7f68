"""The fit as it runs: threads, interruption, the GIL, progress and memory."""

import _thread
import threading
import time

import numpy as np
import pandas as pd
import pytest

import orthomix
from conftest import planted, read_example

# Enough work that a fit is still running when the tests below step in.
LONG = dict(k=12, n_init=1000, seed=3, stopping_threshold=0.0, threads=2)


def test_the_thread_count_changes_no_bit():
    data, settings = read_example("public2")
    for fast in (False, True):
        models = [orthomix.OrthoMix(**settings, fast=fast, threads=threads).fit(**data) for threads in (1, 2, 3)]
        for model in models[1:]:
            assert model.log_likelihood_ == models[0].log_likelihood_
            pd.testing.assert_series_equal(model.human_labels_, models[0].human_labels_)
            pd.testing.assert_series_equal(model.mouse_posteriors_, models[0].mouse_posteriors_)
            pd.testing.assert_frame_equal(model.pair_table_, models[0].pair_table_)
            pd.testing.assert_frame_equal(model.human_means_, models[0].human_means_)


def test_an_interruption_from_another_thread_stops_the_fit_soon():
    human, mouse, orthologs = planted()
    timer = threading.Timer(1.0, _thread.interrupt_main)
    started = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        orthomix.OrthoMix(**LONG).fit(human, mouse, orthologs)
    elapsed = time.monotonic() - started
    timer.join()
    assert 1.0 <= elapsed < 10.0, f"stopped after {elapsed:.1f} s"
    # The module is usable again afterwards.
    data, settings = read_example("public1")
    assert orthomix.OrthoMix(**settings).fit(**data).k_ == settings["k"]


def test_the_gil_is_free_while_fitting_and_progress_arrives_in_order():
    human, mouse, orthologs = planted(genes=600)
    lines = []
    ticks = []
    stop = threading.Event()

    def count():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    try:
        model = orthomix.OrthoMix(k=8, n_init=6, seed=1, threads=1, progress=lines.append).fit(human, mouse, orthologs)
    finally:
        stop.set()
        counter.join()
    assert len(ticks) > 20, "another Python thread could not run during the fit"
    assert lines == model.console_
    assert sum(line.startswith("Repetitive times:") for line in lines) == 6


def test_a_progress_callback_that_raises_stops_the_fit():
    human, mouse, orthologs = planted()

    def refuse(line):
        if line.startswith("Repetitive times:"):
            raise RuntimeError("enough")

    started = time.monotonic()
    with pytest.raises(RuntimeError, match="enough"):
        orthomix.OrthoMix(**LONG, progress=refuse).fit(human, mouse, orthologs)
    assert time.monotonic() - started < 30.0


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


@pytest.mark.skipif(not hasattr(time, "monotonic") or not __import__("os").path.exists("/proc/self/statm"),
                    reason="needs /proc")
def test_fitting_again_does_not_grow_the_process():
    human, mouse, orthologs = planted(genes=3000, samples=40)
    model = orthomix.OrthoMix(k=6, n_init=2, seed=1)
    for _ in range(2):
        model.fit(human, mouse, orthologs)
    before = resident_bytes()
    for _ in range(6):
        model.fit(human, mouse, orthologs)
    grown = resident_bytes() - before
    # Both organisms' values are about 2 MB: six fits that each kept them would grow by 12 MB or more.
    assert grown < 4 * 2 ** 20, f"grew by {grown / 2 ** 20:.1f} MB over six fits"
