"""Simultaneous RB on a chip: counts from an independent noisy simulation, with readout
that errs more often on 1 than on 0, come back as each site's injected error."""

import collections
import json
import re
import subprocess
import sys

import numpy as np
import pytest

import vantrel_rb as rb

NOISE, READ_1_AS_0, READ_0_AS_1 = 0.004, 0.08, 0.02


def outcomes(sequence, rng, shots):
    """Shots of one sequence's qubits (row per shot, column j = sequence qubit j), played
    gate by gate on a density matrix with depolarizing noise, then read out badly."""
    d = 2**sequence.qubits
    rho = np.zeros((d, d), dtype=complex)
    rho[0, 0] = 1
    for gate in (*sequence.gates, *sequence.recovery):
        if not gate.is_identity:  # an idle is not played
            rho = (1 - NOISE) * gate.matrix @ rho @ gate.matrix.conj().T + NOISE * np.eye(d) / d
    states = rng.choice(d, size=shots, p=np.clip(rho.diagonal().real, 0, None) / rho.trace().real)
    bits = (states[:, None] >> np.arange(sequence.qubits)[::-1]) & 1  # qubit 0: the high bit
    flip = rng.random(bits.shape) < np.where(bits == 1, READ_1_AS_0, READ_0_AS_1)
    return bits ^ flip


def chip_counts(chip, shots=400, seed=1):
    """{program: {bitstring: count}}, c[k] the reading of physical qubit k, leftmost c[W-1]."""
    rng, counts = np.random.default_rng(seed), {}
    for index, (name, round_name, length, sample) in enumerate(chip.programs()):
        register = np.zeros((shots, chip.width), dtype=int)
        for site in chip.sites:
            experiment = site.experiments[chip.rounds.index(round_name)]
            register[:, site.physical] = outcomes(experiment.sequences[index % len(
                experiment.sequences)], rng, shots)
        counts[name] = dict(collections.Counter("".join(map(str, row[::-1])) for row in register))
    return counts


@pytest.fixture(scope="module")
def chip(rb22_path, rb44_path):
    one, two = rb.CliffordGroup(1, rb22_path), rb.CliffordGroup(2, rb44_path)
    sites = [(one, 3), (two, (5, 0), "CZ"), (two, [1, 4])]
    return rb.simultaneous_rb(sites, [1, 4, 10, 20, 35], 12, seed=7), one, two


def test_each_site_gives_back_its_injected_error(chip):
    chip, one, two = chip
    lone, interleaved, pair = rb.analyze(chip, chip_counts(chip))
    for fit, group in ((lone, one), (interleaved.reference, two), (pair, two)):
        assert abs(fit.epc - rb.injected_epc(group, NOISE)) < 3 * fit.epc_err
    assert pair.points.shape == (5, 24)  # both rounds of a standard site pooled
    injected = rb.injected_gate_error(chip.sites[1].experiments[1], NOISE)
    assert abs(interleaved.gate_error - injected) < 3 * interleaved.gate_error_err
    m = np.array(chip.lengths)  # B held at 1/d: a fit of A and p alone
    fixed = rb.fit_decay(m, 0.7 * 0.98**m + 0.25 + 1e-3 * (-1) ** m, qubits=2, fix_b=True)
    assert (fixed.B, fixed.B_err, fixed.p) == (0.25, 0, pytest.approx(0.98, abs=2e-4))


def test_each_site_reads_its_own_bits_of_the_written_programs(chip, tmp_path):
    """Counts of the written programs through a readout that turns a 0 of physical qubit
    k into a 1 with chance (k + 1) / 100: each site survives as the product over its own
    qubits, which any other bit order would mix up."""
    chip, *_ = chip
    rb.write_experiment(chip, tmp_path, basis="rz,sx,cz")
    flip, counts = (np.arange(chip.width) + 1) / 100, {}
    for name, *_ in chip.programs():
        text = (tmp_path / f"{name}.qasm").read_text()
        reads = ({k: k for k in range(chip.width)} if "c = measure q;" in text else
                 {int(c): int(q) for c, q in re.findall(r"c\[(\d+)\] = measure q\[(\d+)\];", text)})
        chance = collections.Counter({"": 1.0})  # bitstring so far (c[j-1]...c[0]): chance
        for j in range(len(reads)):
            f = flip[reads[j]]
            chance = collections.Counter({**{"0" + b: p * (1 - f) for b, p in chance.items()},
                                          **{"1" + b: p * f for b, p in chance.items()}})
        counts[name] = {b: round(p * 10**7) for b, p in chance.items()}
    for site, found in zip(chip.sites, rb.survival(chip, counts)):
        expected = np.prod(1 - flip[list(site.physical)])
        assert np.allclose(found, expected, atol=1e-6), site.physical
    reversed_order = {name: {b[::-1]: n for b, n in c.items()} for name, c in counts.items()}
    assert not np.allclose(rb.survival(chip, reversed_order)[0], 1 - flip[3], atol=1e-6)


def test_sites_draw_from_seeds_spawned_from_the_one_given(chip, rb44_path):
    chip, one, two = chip
    seeds = np.random.SeedSequence(chip.seed, spawn_key=chip.spawn_key).spawn(3)
    assert chip.sites[0].experiments[0] == rb.standard_rb(one, chip.lengths, 12, seeds[0])
    assert chip.sites[1].experiments == rb.interleaved_rb(two, "CZ", chip.lengths, 12, seeds[1])
    assert chip.width == 6 and chip.sites[1].physical == (5, 0)
    with pytest.raises(ValueError, match="physical qubit 4 is in two sites"):
        rb.simultaneous_rb([(one, 4), (two, (1, 4))], [1], 1)
    with pytest.raises(ValueError, match=r"needs 2 distinct non-negative physical qubit\(s\)"):
        rb.simultaneous_rb([(two, (2, 2))], [1], 1)


def test_counts_name_what_is_wrong(chip):
    chip, *_ = chip
    counts = {name: {"000000": 1} for name, *_ in chip.programs()}
    assert rb.survival(chip, counts)[1][0].shape == (5, 12)
    for change, message in [
        (lambda c: c.pop("interleaved/m0035_s011"), "no counts for program 'interleaved/m0035"),
        (lambda c: c.update({"standard/m0001_s000": {0: 1}}), "program 'standard/m0001_s000', wh"),
        (lambda c: c.update({"reference/m0001_s000": {"0": 0}}), "'reference/m0001_s000' has no"),
        (lambda c: c.update({"reference/m0004_s000": {"0000002": 1}}), "outcome '0000002' is not"),
        (lambda c: c.update({"reference/m0004_s000": {64: 1}}), "outcome 64 is outside 0 to 63"),
    ]:
        bad = dict(counts)
        change(bad)
        with pytest.raises(ValueError, match=message):
            rb.survival(chip, bad)


def run(*args):
    return subprocess.run([sys.executable, "-m", "vantrel_rb", *map(str, args)],
                          capture_output=True, text=True)


@pytest.mark.parametrize("args, status, message", [
    (["--site", "0", "--site", "0,2"], 1, "a physical qubit is in two sites"),
    (["--qubits", "2", "--interleave", "sx:2"], 2, r"sx needs 1 distinct qubit\(s\) of a pair"),
    (["--qubits", "1", "--interleave", "cx:1,0"], 1, r"no site of 2 qubit\(s\)"),
    (["--qubits", "1", "--interleave", "toffoli"], 2, "not a catalogue name"),
    (["--site", "x"], 2, "a site is one qubit or a pair"),
    (["--site", "0=cz"], 2, r"cz acts on 2 qubit\(s\), the site 0 has 1"),
    (["--site", "0="], 2, "no gate after '='"),
])
def test_command_line_refuses_bad_arguments_in_one_line(rb22_path, args, status, message):
    done = run(*args, "--table", rb22_path, "--lengths", "1,4", "--samples", "2")
    assert done.returncode == status and done.stderr.count("\n") == 1, done.stderr
    assert __import__("re").search(message, done.stderr)


def test_command_line_analyzes_what_it_wrote(rb22_path, rb44_path, tmp_path):
    drawn = run("draw", "--tables", f"{rb22_path},{rb44_path}", "--site", "3", "--site",
                "5,0=cx:1,0", "--site", "2,1", "--basis", "rz,sx,cz", "--lengths",
                "1,4,10,20,35", "--samples", "8", "--seed", "3", "--out", tmp_path / "chip")
    assert drawn.returncode == 0, drawn.stderr
    chip = rb.export.read_experiment(tmp_path / "chip")
    assert [len(site.experiments) for site in chip.sites] == [2, 2, 2]
    assert "cx q[0], q[5];" in (tmp_path / "chip" / "interleaved" / "m0001_s000.qasm").read_text()
    (tmp_path / "counts.json").write_text(json.dumps(chip_counts(chip)))
    done = run("analyze", tmp_path / "chip", tmp_path / "counts.json")
    assert done.returncode == 0, done.stderr
    rows = done.stdout.splitlines()
    assert rows[0].startswith("3 ") and rows[1].startswith("5,0 ") and "r_c = " in rows[1]
    assert rows[2].startswith("2,1 ") and "r_c" not in rows[2]
    assert (tmp_path / "chip" / "analysis.png").stat().st_size > 0
    one = run("draw", "--table", rb44_path, "--site", "4,1=cz", "--lengths", "1,4,8",
              "--samples", "2", "--out", tmp_path / "pair")
    assert one.returncode == 0, one.stderr
    pair = rb.export.read_experiment(tmp_path / "pair")
    counts = {name: {"00": 9, "01": 1} for e in pair for name in e.programs()}
    (tmp_path / "pair.json").write_text(json.dumps(counts))
    rows = run("analyze", tmp_path / "pair", tmp_path / "pair.json").stdout.splitlines()
    assert rows[0].startswith("4,1 ") and "r_c = " in rows[0]
