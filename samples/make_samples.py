#!/usr/bin/env python3
"""Writes the sample tests samples/unsteady.tvd, samples/steady.tvd and samples/long.tvd.

Run by hand from the repository folder (python3 samples/make_samples.py); the output is committed.
The readings are generated from a simple recovery model so that the derived h and s, the analysis
points, the gradient a and the coefficient k agree with one another exactly as the program computes
them: h = P - h', s = |ho - h|, both written with "%g"; a = log10(s1/s2)/(t2 - t1); k by the
program's formulas with its constants 2.3 and 6.28318. Files are CP932 with CR LF.
"""

import math
import os

TAG = "$$_TOVKARBO3045"
HERE = os.path.dirname(os.path.abspath(__file__))


def g(value):
    """C's "%g" (Python's agrees for these magnitudes); never "-0"."""
    text = "%g" % value
    return "0" if text == "-0" else text


def exp_text(value, digits):
    """C's "%.{digits}E" as the program writes it: exponent with a sign and three digits."""
    mantissa, exponent = ("%.*E" % (digits, value)).split("E")
    return "%sE%s%03d" % (mantissa, exponent[0], abs(int(exponent)))


def permeability(formula, ratio, de, length, gradient, flow=0.0, head=0.0):
    """k (m/s), evaluated in the same order as the program."""
    b, e, L = ratio, gradient, length
    if formula == 0:
        return (e * math.log10(2 * b)) / (8 * L) * 2.3 * 2.3 * de * de
    if formula == 1:
        return (e * math.log(b + math.sqrt(b * b + 1))) / (8 * L) * 2.3 * de * de
    if formula == 2:
        return (e * math.log10(4 * b)) / (8 * L) * 2.3 * 2.3 * de * de
    if formula == 3:
        return (e * math.log(2 * b + math.sqrt(4 * b * b + 1))) / (8 * L) * 2.3 * de * de
    return 2.3 * math.log10(2 * b) * flow / (L * head * 6.28318)


def clock(start_minutes, t):
    minutes = start_minutes + int(t) // 60
    return "%d.%02d" % (minutes // 60, minutes % 60)


def derive(P, ho, pipe_level_text):
    """Columns 4 and 5 exactly as the program derives them from the texts."""
    h = float(P) - float(pipe_level_text)
    s = abs(float(ho) - h)
    return g(h), g(s)


def write_test(name, fields, rows):
    lines = [TAG, "$$Z"]
    lines += [fields.get(i, "") for i in range(1, 101)]
    lines.append("$$A")
    lines += [",".join(r) for r in rows]
    data = "".join(line + "\r\n" for line in lines).encode("cp932")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def common_headings(over):
    f = {
        1: "県道改良工事に伴う地質調査業務",
        2: "静岡県浜松市中区",
        3: "B-1",
        4: "2024", 5: "5", 6: "14",
        7: "TP", 8: "12.35",
        9: "砂礫", 10: "32",
        11: "山田太郎",
        15: "調査名", 16: "調査位置", 17: "No.",
        18: "晴",
        19: "0",
        29: "",
        30: "現場透水試験測定結果表",
        31: "現場透水試験測定結果図",
        32: "株式会社　地盤技術調査",
        34: "1", 35: "1",
        65: "1",
        70: "5.0", 71: "10.0",
        72: "0", 73: "10000", 74: "-20", 75: "20",
        76: "0", 77: "10000", 78: "-20", 79: "20",
        81: "(付図-", 82: ")", 83: "1",
        84: "(付表-", 85: ")", 86: "1",
        87: "285", 88: "106", 89: "1",
    }
    f.update(over)
    return f


def unsteady_test(name, times, s0, a_true, early, P, ho, rising, fields, points, start_clock):
    """A recovery (rising) or falling-head test: s(t) = s0 * 10^(-a t), with an early deviation."""
    rows = []
    for t in times:
        s = s0 * 10 ** (-a_true * t) * (1.0 + early * math.exp(-t / 40.0))
        # The level meter reads to the millimetre.
        h = float(ho) - s if rising else float(ho) + s
        pipe_level = "%.3f" % (float(P) - h)
        hv, sv = derive(P, ho, pipe_level)
        rows.append([g(t), pipe_level, clock(start_clock, t), hv, sv, ""])
    i1, i2 = points
    t1, t2 = float(rows[i1 - 1][0]), float(rows[i2 - 1][0])
    s1, s2 = float(rows[i1 - 1][4]), float(rows[i2 - 1][4])
    a = math.log10(s1 / s2) / (t2 - t1)
    L, D, de = float(fields[24]), float(fields[23]), float(fields[20])
    formula = int(fields[33])
    k = permeability(formula, L / D, de, L, a)
    # The stored gradient, read back, gives the same k text.
    assert exp_text(permeability(formula, L / D, de, L, float(g(a))), 2) == exp_text(k, 2)
    fields.update({
        28: rows[0][4],
        36: rows[i1 - 1][0], 37: rows[i2 - 1][0],
        38: rows[i1 - 1][4], 39: rows[i2 - 1][4],
        40: "%d" % i1, 41: "%d" % i2,
        42: exp_text(k, 2),
        63: g(a),
    })
    write_test(name, fields, rows)
    print("%s: %d readings, a = %s, k = %s" % (name, len(rows), g(a), exp_text(k, 2)))


def make_unsteady():
    times = [0, 5, 10, 15, 20, 30, 40, 50, 60, 80, 100, 120, 150, 180, 240, 300, 360, 420, 480,
             540, 600, 720, 840, 960, 1080, 1200, 1350, 1500, 1650, 1800]
    fields = common_headings({
        12: "汲上げ(回復)",
        20: "0.05", 21: "0.5", 22: "0.05", 23: "0.066", 24: "1.0",
        25: "-8.0", 26: "-9.0", 27: "-2.5",
        33: "0",
        43: "0", 44: "1800", 45: "300", 46: "300", 47: "60",
        48: "0.1", 49: "10", 50: "1", 52: "2",
        53: "0", 54: "1800", 55: "300", 56: "300", 57: "60",
        58: "-6", 59: "-2", 60: "1", 61: "1", 62: "0.2",
        # The readings editor's preview: h' and h of every reading in view.
        72: "0", 73: "1800", 74: "-6", 75: "7",
    })
    unsteady_test("unsteady.tvd", times, 3.0, 8.2e-4, 0.08, "0.5", "-2.5", True, fields,
                  (12, 26), 10 * 60 + 30)


def make_long():
    times = list(range(0, 301, 10)) + list(range(330, 1201, 30)) + list(range(1300, 3601, 100))
    assert len(times) == 85
    fields = common_headings({
        1: "河川護岸改修工事に伴う地盤調査",
        2: "愛知県豊橋市牛川町地内",
        3: "B-3",
        4: "2024", 5: "6", 6: "3",
        8: "4.80",
        9: "細砂", 10: "18",
        11: "佐藤花子",
        12: "投入",
        18: "曇",
        19: "1",
        20: "0.05", 21: "0.8", 22: "0.05", 23: "0.086", 24: "0.5",
        25: "-6.0", 26: "-6.5", 27: "-3.2",
        33: "1",
        43: "0", 44: "3600", 45: "600", 46: "600", 47: "120",
        48: "0.01", 49: "10", 50: "1", 52: "2",
        53: "0", 54: "3600", 55: "600", 56: "600", 57: "120",
        58: "-4", 59: "0", 60: "1", 61: "1", 62: "0.2",
        72: "0", 73: "3600", 74: "-4", 75: "5",
        83: "2", 86: "2",
    })
    unsteady_test("long.tvd", times, 2.0, 4.45e-4, 0.06, "0.8", "-3.2", False, fields,
                  (31, 70), 13 * 60 + 5)


def make_steady():
    P, ho = "0.5", "-2.5"
    L, D = 1.0, 0.066
    times = [0, 60, 120, 180, 240, 300, 420, 540, 660, 780, 900, 1080, 1260, 1440, 1620, 1800]
    # Constant-rate pumping: the drawdown settles at about 1.5 m, the flow at 1.5E-5 m3/s.
    wobble = [0.06, 0.02, -0.01, 0.01, -0.02, 0.00, 0.01, -0.01, 0.00, 0.01, 0.00, -0.01, 0.00,
              0.01, 0.00, 0.00]
    rows = []
    for t, w in zip(times, wobble):
        s = 1.5 * (1.0 - math.exp(-t / 180.0))
        h = float(ho) - s
        pipe_level = "%.3f" % (float(P) - h)
        hv, sv = derive(P, ho, pipe_level)
        q = "%.2fE-5" % (1.50 + w)
        rows.append([g(t), pipe_level, clock(9 * 60 + 40, t), hv, sv, q])
    row = len(rows)  # the last reading, well into the steady state
    q, s = float(rows[row - 1][5]), float(rows[row - 1][4])
    k = permeability(4, L / D, 0.0, L, 0.0, q, s)
    fields = common_headings({
        3: "B-2",
        4: "2024", 5: "5", 6: "16",
        9: "砂質土", 10: "15",
        12: "揚水",
        18: "晴時々曇",
        20: "0.05", 21: P, 22: "0.05", 23: "0.066", 24: "1.0",
        25: "-5.0", 26: "-6.0", 27: ho,
        30: "単孔を利用した透水試験（定常法）測定記録",
        31: "単孔を利用した透水試験（定常法）グラフ",
        33: "4",
        36: rows[row - 1][0], 37: rows[row - 1][3], 38: rows[row - 1][5], 39: rows[row - 1][4],
        40: "%d" % row,
        42: exp_text(k, 2),
        43: "0", 44: "1800", 45: "300", 46: "300", 47: "60",
        48: "0", 49: "3.0E-05", 50: "1.0E-05", 51: "5.0E-06", 52: "1.0E-06",
        53: "0", 54: "1800", 55: "300", 56: "300", 57: "60",
        58: "-5", 59: "-2", 60: "0.5", 61: "0.5", 62: "0.1",
        63: g(math.log10(2 * L / D)),
        65: "",
        72: "0", 73: "1800", 74: "-5", 75: "5",
        66: rows[row - 1][5], 67: rows[row - 1][3], 68: rows[row - 1][4],
    })
    write_test("steady.tvd", fields, rows)
    print("steady.tvd: %d readings, Q = %s, s = %s, k = %s" % (len(rows), rows[row - 1][5],
                                                              rows[row - 1][4], exp_text(k, 2)))


if __name__ == "__main__":
    make_unsteady()
    make_steady()
    make_long()
