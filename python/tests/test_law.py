"""The module's laws equal quarnel-batch's, double for double."""

import json
import subprocess

import numpy as np
import pytest

import quarnel

CASES = {
    "defaults": {},
    "oriented": {"Lf": 30, "kxy": "2", "theta_r_xy": 30},
    "function_lb": {"model": "function-lb", "A": 3, "B": 0.45, "C": 0.05, "D": 0.3},
    "inclined_crack": {"Lf": "12", "Vf": 0.02, "crack_xy": 20, "sigma_fu": 1600, "division": 40},
    "strength_scatter": {"sigma_fu": 25, "weibull_m": 5},
}


def batch_steps(batch, inputs, openings=None):
    args = [batch, "--quiet", "--json", "-o", "/dev/null"]
    for name, value in inputs.items():
        args.append(f"{name}={value if isinstance(value, str) else repr(float(value))}")
    if openings is not None:
        args += ["--openings", ",".join(repr(float(w)) for w in openings)]
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines()]


@pytest.mark.parametrize("name", sorted(CASES))
def test_steps_equal_the_batch_command(batch, name):
    inputs = CASES[name]
    law = quarnel.law(**inputs)
    steps = batch_steps(batch, inputs)
    assert len(steps) == len(law.Wcr)
    for key in ("Wcr", "P", "sigma", "effective_fiber_ratio", "P_top", "sigma_top"):
        assert np.array_equal(getattr(law, key), np.array([s[key] for s in steps])), key


@pytest.mark.parametrize("source", ["converged", "steps"])
def test_criteria_equal_the_batch_commands_summary(batch, tmp_path, source):
    inputs = CASES["oriented"]
    law = quarnel.law(sigma_fc=0.05, J_tip=20, criteria=source, **inputs)
    summary = tmp_path / "s.jsonl"
    args = [batch, "--quiet", "-o", str(tmp_path / "run.p-d"), "--summary", str(summary),
            "--sigma-fc", "0.05", "--J-tip", "20", "--criteria", source]
    for name, value in inputs.items():
        args.append(f"{name}={value if isinstance(value, str) else repr(float(value))}")
    subprocess.run(args, check=True)
    row = json.loads(summary.read_text())
    for key in ("sigma_max", "Wcr_peak", "J_b_prime", "G_b", "psh_energy", "strain_hardening",
                "criteria_openings", "criteria_change"):
        assert law.criteria[key] == row[key], key
    if source == "steps":
        assert law.criteria["criteria_openings"] == len(law.Wcr)
        assert law.criteria["criteria_change"] is None
    else:
        assert law.criteria["criteria_change"] <= 1e-3
    with pytest.raises(ValueError, match="criteria must be"):
        quarnel.law(criteria="fine")


def test_given_openings_equal_the_batch_command(batch):
    openings = np.linspace(0, 15, 37)
    law = quarnel.law(openings=openings, model=2, A=3, B=0.45, C=0.05, D=0.3)
    steps = batch_steps(batch, {"model": "2", "A": 3, "B": 0.45, "C": 0.05, "D": 0.3}, openings)
    assert np.array_equal(law.sigma, np.array([s["sigma"] for s in steps]))


def test_numbers_and_texts_give_the_same_law():
    assert np.array_equal(quarnel.law(Lf=0.1 * 300).sigma, quarnel.law(Lf="30").sigma)
    assert np.array_equal(quarnel.law(Vf=0.1).sigma, quarnel.law(Vf="0.1").sigma)


def test_result_file_is_byte_for_byte_the_batch_commands(batch, tmp_path):
    at = "2026-12-06 14:05:09"
    law = quarnel.law(**CASES["oriented"])
    law.write_result_file(tmp_path / "py.p-d", at=at)
    args = [batch, "--quiet", "-o", str(tmp_path / "py.p-d").replace("py.p-d", "cli.p-d"), "--at", at]
    args += [f"{k}={v}" for k, v in CASES["oriented"].items()]
    subprocess.run(args, check=True)
    py = (tmp_path / "py.p-d").read_bytes()
    cli = (tmp_path / "cli.p-d").read_bytes()
    # The header names the file it was written as; the rest is equal.
    assert py.replace(b"py.p-d", b"cli.p-d") == cli


def test_to_pandas_holds_the_steps():
    frame = quarnel.law().to_pandas()
    assert list(frame.columns) == ["n", "Wcr_mm", "P_N", "sigma_MPa", "effective_fiber_ratio"]
    assert len(frame) == 61


def test_errors_name_the_input_and_the_rule():
    with pytest.raises(TypeError, match="unknown input 'Lx'"):
        quarnel.law(Lx=3)
    with pytest.raises(quarnel.InputRefused) as refused:
        quarnel.law(Lf=0)
    assert refused.value.member == "Lf" and isinstance(refused.value, ValueError)
    with pytest.raises(quarnel.InputRefused):
        quarnel.law(openings=[0, 0.1, -0.2])
    with pytest.raises(quarnel.InputRefused):
        quarnel.law(model="Constant")
    with pytest.raises(TypeError):
        quarnel.law(Vf=True)
    for m in (-1, "5x"):
        with pytest.raises(quarnel.InputRefused) as refused:
            quarnel.law(weibull_m=m)
        assert refused.value.member == "weibull_m"


def test_strength_scatter_is_opt_in():
    classic = quarnel.law(sigma_fu=25)
    for m in (0, "", "0"):
        assert np.array_equal(quarnel.law(sigma_fu=25, weibull_m=m).P, classic.P)
    assert quarnel.law(sigma_fu=25, weibull_m=5).criteria["sigma_max"] < classic.criteria["sigma_max"]


def test_the_version_is_the_commands(batch):
    printed = subprocess.run([batch, "--version"], capture_output=True, text=True, check=True)
    assert printed.stdout.splitlines()[0] == f"quarnel-batch {quarnel.__version__}"
    assert quarnel.__version__.count(".") == 2
