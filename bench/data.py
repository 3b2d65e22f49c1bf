"""The data files of the codec benchmarks: a 20 MB JSON document and a 20 MB CSV file, made
once from a fixed seed, so every run and every language reads the same bytes."""
import json
import os
import random

SIZE = 20 * 1024 * 1024
WORDS = ["alpha", "beta", "gamma", "delta", "épsilon", "zeta", "eta", "theta", "iota", "kappa",
         "lambda", "mu", "quote\"d", "tab\tbed", "line\nbreak", "naïve", "東京", "x"]


def record(rng, i):
    return {
        "id": i,
        "name": f"{rng.choice(WORDS)} {rng.choice(WORDS)} {i}",
        "active": rng.random() < 0.5,
        "score": round(rng.uniform(-1000, 1000), 6),
        "ratio": rng.random(),
        "count": rng.randint(0, 10**9),
        "tags": [rng.choice(WORDS) for _ in range(rng.randint(0, 5))],
        "values": [rng.randint(-10**6, 10**6) for _ in range(rng.randint(0, 8))],
        "point": {"x": rng.uniform(-1, 1), "y": rng.uniform(-1, 1), "label": None},
        "history": [{"at": rng.randint(0, 10**6), "note": rng.choice(WORDS)}
                    for _ in range(rng.randint(0, 3))],
    }


def make_json(path):
    rng = random.Random(20261211)
    records = []
    size = 0
    while size < SIZE:
        r = record(rng, len(records))
        records.append(r)
        size += len(json.dumps(r, ensure_ascii=False)) + 1
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"title": "benchmark", "records": records}, f, ensure_ascii=False)


def make_csv(path):
    import csv
    rng = random.Random(20261212)
    with open(path, "w", encoding="utf-8", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["id", "name", "city", "amount", "note", "code"])
        i = 0
        while f.tell() < SIZE:
            w.writerow([i, f"{rng.choice(WORDS)} {i}", rng.choice(WORDS),
                        f"{rng.uniform(0, 10000):.2f}", rng.choice(WORDS) + ", " + rng.choice(WORDS),
                        rng.randint(0, 99999)])
            i += 1


FILES = {"data.json": make_json, "data.csv": make_csv}


def ensure(directory):
    """Makes the data files in the directory unless they are there already."""
    os.makedirs(directory, exist_ok=True)
    for name, make in FILES.items():
        path = os.path.join(directory, name)
        if not os.path.exists(path):
            make(path + ".part")
            os.replace(path + ".part", path)
